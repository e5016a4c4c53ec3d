#include "browsing/outside_links.h"

#include <array>
#include <string_view>

#include "platform/byte_text.h"

namespace pelmaro::browsing {

namespace {

// The fields of a mail link that only fill in a new message (RFC 6068).
constexpr std::array<std::string_view, 4> kMailFields{"to", "cc", "subject", "body"};

// A field's name with its %XX escapes decoded, so that "%61ttach" is seen as "attach".
std::string decodedName(std::string_view name) {
    std::string decoded;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '%' && i + 2 < name.size() && hexDigitValue(name[i + 1]) >= 0 &&
            hexDigitValue(name[i + 2]) >= 0) {
            decoded +=
                static_cast<char>(hexDigitValue(name[i + 1]) * 16 + hexDigitValue(name[i + 2]));
            i += 2;
        } else {
            decoded += name[i];
        }
    }
    return decoded;
}

std::string mailLinkForDesktop(std::string_view url) {
    const std::size_t fragment = url.find('#');
    url = url.substr(0, fragment);
    const std::size_t question = url.find('?');
    std::string kept(url.substr(0, question));
    if (question == std::string_view::npos) {
        return kept;
    }
    char separator = '?';
    std::string_view query = url.substr(question + 1);
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view field = query.substr(0, amp);
        query = amp == std::string_view::npos ? std::string_view() : query.substr(amp + 1);
        const std::string name = lowerAZ(decodedName(field.substr(0, field.find('='))));
        for (const std::string_view allowed : kMailFields) {
            if (name == allowed) {
                kept += separator;
                kept += field;
                separator = '&';
                break;
            }
        }
    }
    return kept;
}

}  // namespace

std::optional<std::string> linkForDesktop(const std::string& encodedUrl) {
    if (startsWithIgnoringAsciiCase(encodedUrl, "mailto:")) {
        return mailLinkForDesktop(encodedUrl);
    }
    for (const std::string_view web : {"http:", "https:", "ftp:"}) {
        if (startsWithIgnoringAsciiCase(encodedUrl, web)) {
            return encodedUrl;
        }
    }
    return std::nullopt;
}

}  // namespace pelmaro::browsing
