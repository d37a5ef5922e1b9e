#pragma once
// What makes an HTTP reply a received archive. No windows.h: built and
// tested natively too.
#include <string>

// A final status (after the redirects the client follows) of 400 or above
// carries an error page, not the archive.
inline bool IsErrorStatus(unsigned long status) {
    return status >= 400;
}

// Whether received bytes are the whole body that the Content-Length header
// (its text, empty when absent) announced. Without a usable header the
// end of the connection is the end of the body.
bool BodyIsComplete(const std::string& contentLength, unsigned long long received);
