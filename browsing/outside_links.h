#pragma once

#include <optional>
#include <string>

// Links a page may hand to the desktop's programs, once the user has clicked them.
namespace pelmaro::browsing {

// What a clicked link may ask of the desktop, as the encoded URL to hand over; nullopt for a
// scheme no desktop program gets. Web pages ("http:", "https:", "ftp:") go as they are. A mail
// link keeps only the recipients, the subject and the text, so that a page can't have the mail
// program attach a file of the user's:
// "mailto:a@x.org?attach=/home/u/.ssh/id_rsa&Subject=Hi" -> "mailto:a@x.org?Subject=Hi".
std::optional<std::string> linkForDesktop(const std::string& encodedUrl);

}  // namespace pelmaro::browsing
