#pragma once
// The HTML status page, built from rows on the user-interface thread whenever
// the sensor list is redrawn, and the site icon.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace web {

struct PageRow {
    std::string name;   // UTF-8
    std::string value;  // UTF-8
};

// Replaces the current page. Names and values are shown as plain text: HTML
// characters in them are escaped.
void BuildStatusPage(const std::vector<PageRow>& rows);

// The current page's bytes (UTF-8, no terminating zero), or nullptr before the
// first build.
const std::string* CurrentStatusPage();

// Back to no page, as at start-up. For tests.
void ForgetStatusPage();

// The 766-byte 32x32 16-colour icon.
std::span<const std::uint8_t> SiteIcon();

}  // namespace web
