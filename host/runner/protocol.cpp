#include "runner/protocol.h"

#include <array>
#include <string_view>
#include <utility>

namespace rawout {

namespace {

// Kinds a check process writes, by the word that stands for each. PluginEnded is told by the
// parent alone: the process that could write it is the one that ended.
constexpr std::array<std::pair<const char*, Verdict::Kind>, 7> kWords = {{
    {"pass", Verdict::Kind::Pass},
    {"warn", Verdict::Kind::Warn},
    {"fail", Verdict::Kind::Fail},
    {"skip", Verdict::Kind::Skip},
    {"unsupported", Verdict::Kind::Unsupported},
    {"unloadable", Verdict::Kind::NotLoaded},
    {"trouble", Verdict::Kind::OwnTrouble},
}};
// The last line, so that a verdict cut short by a plug-in that ended the process is not taken.
constexpr char kEnd[] = "\nend\n";
static_assert(sizeof kEnd - 1 == kVerdictEndBytes);

constexpr std::array<std::pair<const char*, ContentRule>, 3> kRules = {{
    {"undeclared", ContentRule::Undeclared},
    {"identity", ContentRule::Identity},
    {"reference", ContentRule::Reference},
}};

}  // namespace

const char* contentRuleWord(ContentRule rule) {
  for (const auto& [word, each] : kRules) {
    if (each == rule) {
      return word;
    }
  }
  return kRules.front().first;
}

std::optional<ContentRule> contentRuleOf(const std::string& word) {
  for (const auto& [name, rule] : kRules) {
    if (word == name) {
      return rule;
    }
  }
  return std::nullopt;
}

namespace {

// A line feed of a text is followed by a tab, so that neither the end mark nor a detail's line,
// whose line feeds are not, can stand inside the text of a verdict cut short.
std::string escapedLines(const std::string& text) {
  std::string lines;
  for (const char character : text) {
    lines += character;
    if (character == '\n') {
      lines += '\t';
    }
  }
  return lines;
}

// A detail's line: a record separator, its name, a unit separator, its text.
constexpr char kDetailMark = '\x1e';
constexpr char kNameEnd = '\x1f';

// The text from `index` up to a line feed that no tab follows (or `end`), unescaped; `index`
// is left there. None for a line feed that is neither a text's nor a detail's.
std::optional<std::string> unescapedLines(const std::string& written, std::size_t& index,
                                          std::size_t end) {
  std::string text;
  for (; index < end; ++index) {
    if (written[index] == '\n') {
      if (index + 1 < end && written[index + 1] == kDetailMark) {
        break;
      }
      if (index + 1 == end || written[index + 1] != '\t') {
        return std::nullopt;  // a line feed that is no text's: the verdict was cut or forged
      }
      text += '\n';
      ++index;
      continue;
    }
    text += written[index];
  }
  return text;
}

}  // namespace

std::string encoded(const Verdict& verdict) {
  std::string word;
  for (const auto& [name, each] : kWords) {
    if (each == verdict.kind) {
      word = name;
    }
  }
  std::string lines = escapedLines(verdict.text);
  for (const Verdict::Detail& detail : verdict.details) {
    lines +=
        "\n" + std::string(1, kDetailMark) + detail.name + kNameEnd + escapedLines(detail.text);
  }
  return word + "\n" + lines + kEnd;
}

std::optional<Verdict> decodedVerdict(const std::string& written) {
  const std::string_view end = kEnd;
  const std::size_t lineEnd = written.find('\n');
  // A verdict cut short lacks the end marker, which follows the word's line whole.
  if (lineEnd == std::string::npos || !written.ends_with(end) ||
      lineEnd + 1 + end.size() > written.size()) {
    return std::nullopt;
  }
  const std::size_t textEnd = written.size() - end.size();
  const std::string word = written.substr(0, lineEnd);
  std::size_t index = lineEnd + 1;
  auto text = unescapedLines(written, index, textEnd);
  if (!text) {
    return std::nullopt;
  }
  std::vector<Verdict::Detail> details;
  while (index < textEnd) {
    index += 2;  // the line feed and the mark
    const std::size_t nameEnd = written.find(kNameEnd, index);
    if (nameEnd == std::string::npos || nameEnd >= textEnd) {
      return std::nullopt;
    }
    std::string name = written.substr(index, nameEnd - index);
    index = nameEnd + 1;
    auto detail = unescapedLines(written, index, textEnd);
    if (!detail) {
      return std::nullopt;
    }
    details.push_back({std::move(name), std::move(*detail)});
  }
  for (const auto& [name, kind] : kWords) {
    if (word == name) {
      return Verdict{kind, std::move(*text), std::move(details)};
    }
  }
  return std::nullopt;
}

}  // namespace rawout
