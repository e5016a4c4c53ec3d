#include "browsing/outside_links.h"

#include <gtest/gtest.h>

namespace pelmaro::browsing {
namespace {

TEST(LinkForDesktop, WebLinksPassMailLinksKeepOnlyTheMessageAndOtherSchemesNever) {
    const struct {
        const char* url;
        const char* expected;  // nullptr: never handed to the desktop
    } cases[] = {
        {"https://example.com/a?b=c#d", "https://example.com/a?b=c#d"},
        {"HTTP://example.com/", "HTTP://example.com/"},
        {"ftp://example.com/x", "ftp://example.com/x"},
        {"mailto:a@example.com", "mailto:a@example.com"},
        {"mailto:a@example.com?attach=/home/u/.ssh/id_rsa", "mailto:a@example.com"},
        {"MAILTO:a@example.com?Subject=Hi&ATTACH=x&body=Text%20here&cc=b@example.com&"
         "%61ttachment=y&bcc=c@example.com&to=d@example.com",
         "MAILTO:a@example.com?Subject=Hi&body=Text%20here&cc=b@example.com&to=d@example.com"},
        {"mailto:?attach=x&%73ubject=s", "mailto:?%73ubject=s"},
        {"mailto:a@example.com?body=a#attach=x", "mailto:a@example.com?body=a"},
        {"mailto:a@example.com?&&subject", "mailto:a@example.com?subject"},
        {"file:///etc/passwd", nullptr},
        {"javascript:alert(1)", nullptr},
        {"other-scheme:x", nullptr},
        {"httpx://example.com", nullptr},
        {"", nullptr},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(linkForDesktop(c.url),
                  c.expected ? std::optional<std::string>(c.expected) : std::nullopt)
            << c.url;
    }
}

}  // namespace
}  // namespace pelmaro::browsing
