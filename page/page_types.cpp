#include "page/page_types.h"

#include "platform/file_names.h"

namespace pelmaro {
namespace {

enum class Role { Page, Image, Linked };  // Linked: what catalogued pages refer to

struct PageType {
    std::string_view extension;
    const char* mimeType;
    Role role;
    TextKind text = TextKind::None;
};

constexpr PageType kTypes[] = {
    {".htm", "text/html", Role::Page, TextKind::Markup},
    {".html", "text/html", Role::Page, TextKind::Markup},
    {".shtm", "text/html", Role::Page, TextKind::Markup},
    {".shtml", "text/html", Role::Page, TextKind::Markup},
    // Server pages saved to disk hold what the server sent: HTML.
    {".asp", "text/html", Role::Page, TextKind::Markup},
    {".cgi", "text/html", Role::Page, TextKind::Markup},
    {".xml", "text/xml", Role::Page, TextKind::Xml},
    {".txt", "text/plain", Role::Page, TextKind::Plain},
    {".gif", "image/gif", Role::Image},
    {".jpg", "image/jpeg", Role::Image},
    {".bmp", "image/bmp", Role::Image},
    {".xhtml", "application/xhtml+xml", Role::Linked},
    {".css", "text/css", Role::Linked},
    {".js", "text/javascript", Role::Linked},
    {".mjs", "text/javascript", Role::Linked},
    {".json", "application/json", Role::Linked},
    {".xsl", "text/xsl", Role::Linked},
    {".xslt", "text/xsl", Role::Linked},
    {".jpeg", "image/jpeg", Role::Linked},
    {".png", "image/png", Role::Linked},
    {".svg", "image/svg+xml", Role::Linked},
    {".ico", "image/x-icon", Role::Linked},
    {".webp", "image/webp", Role::Linked},
    {".avif", "image/avif", Role::Linked},
    {".tif", "image/tiff", Role::Linked},
    {".tiff", "image/tiff", Role::Linked},
    {".woff", "font/woff", Role::Linked},
    {".woff2", "font/woff2", Role::Linked},
    {".ttf", "font/ttf", Role::Linked},
    {".otf", "font/otf", Role::Linked},
    {".mp3", "audio/mpeg", Role::Linked},
    {".ogg", "audio/ogg", Role::Linked},
    {".wav", "audio/wav", Role::Linked},
    {".mp4", "video/mp4", Role::Linked},
    {".webm", "video/webm", Role::Linked},
    {".pdf", "application/pdf", Role::Linked},
    {".md", "text/plain", Role::Linked},
    {".csv", "text/plain", Role::Linked},
    {".log", "text/plain", Role::Linked},
};

const PageType* typeOf(std::string_view fileName) {
    const std::string_view extension = extensionOf(fileName);
    // Compared in place, with no folded copy: the full-text search asks for every file it reads.
    for (const PageType& type : kTypes) {
        if (equalsIgnoringAsciiCase(extension, type.extension)) {
            return &type;
        }
    }
    return nullptr;
}

}  // namespace

bool isAcceptedType(std::string_view fileName) {
    const PageType* type = typeOf(fileName);
    return type != nullptr && type->role != Role::Linked;
}

TextKind textKindOf(std::string_view fileName) {
    const PageType* type = typeOf(fileName);
    return type != nullptr ? type->text : TextKind::None;
}

const char* mimeTypeFor(std::string_view fileName) {
    const PageType* type = typeOf(fileName);
    return type != nullptr ? type->mimeType : "application/octet-stream";
}

}  // namespace pelmaro
