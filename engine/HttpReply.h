#pragma once
// What a transfer makes of an HTTP reply's status and headers. No
// windows.h: built and tested natively too.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// Reads the decimal digits at pos of text into value and moves pos past
// them; false when there are none, or too many for 64 bits.
bool ReadDecimal(const std::string& text, std::size_t& pos, std::uint64_t& value);

// The Content-Length header's value as one plain number (blanks around it
// allowed); nothing when it is anything else: no digits, a sign, a list
// ("N, N"), or a number too large for 64 bits. A header that is present but
// unreadable says the sender's framing cannot be trusted: the body is not
// taken.
std::optional<unsigned long long> ReadContentLength(const std::string& text);

// The statuses whose Location the transfer follows (300, 304 and the rest
// are final replies).
bool IsRedirectStatus(unsigned long status);

// The one final status that carries what was asked for: 200, or 206 for a
// request with a range (a 206 to a request without one is a stranger's).
bool IsAcceptedStatus(unsigned long status, bool rangeAsked);
