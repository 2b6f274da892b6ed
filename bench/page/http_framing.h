#pragma once
// Where one HTTP/1.1 response ends in the bytes a keep-alive connection has
// received so far: its header block, then Content-Length bytes of body.
#include <cstddef>
#include <string_view>

namespace bench {

enum class FrameState { Incomplete, Complete, Malformed };

struct ResponseFrame {
    FrameState state = FrameState::Incomplete;
    std::size_t length = 0;  // header block and body, when Complete
    int status = 0;          // the status code, once the status line is in
};

// Judges the first response in `received`. Malformed when it does not start
// with "HTTP/", has no Content-Length, or its headers run past 8 KiB.
ResponseFrame FrameResponse(std::string_view received);

}  // namespace bench
