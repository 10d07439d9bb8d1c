// Text a plug-in chose (a message, a name), made safe for each form of the report.
#pragma once

#include <string>

namespace rawout {

// Well-formed XML for any bytes: what is not strict UTF-8, or is a character XML forbids, is
// shown as \xHH, and markup is escaped.
std::string xmlEscaped(const std::string& raw);
// A TAP test description: printable, with "#" (a directive) and "\" escaped.
std::string tapDescription(const std::string& text);
// A YAML double-quoted scalar: printable, with quotes and backslashes escaped.
std::string yamlQuoted(const std::string& text);

}  // namespace rawout
