// kelvarian-icons OUTDIR SIZE...
// Writes OUTDIR/kelvarian-SIZE.png for each size, from the program's own icon.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "icon_image.h"
#include "web/status_page.h"  // SiteIcon

namespace {

bool writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: kelvarian-icons OUTDIR SIZE...\n");
        return 2;
    }
    icons::Image icon;
    if (!icons::DecodeIco(web::SiteIcon(), icon)) {
        std::fprintf(stderr, "kelvarian-icons: the program's icon is not a 4-bit ICO\n");
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        const int side = std::atoi(argv[i]);
        if (side < 1 || side > 1024) {
            std::fprintf(stderr, "kelvarian-icons: bad size %s\n", argv[i]);
            return 2;
        }
        const std::string path = std::string(argv[1]) + "/kelvarian-" + argv[i] + ".png";
        if (!writeFile(path, icons::EncodePng(icons::ScaleNearest(icon, side)))) {
            std::fprintf(stderr, "kelvarian-icons: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}
