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

std::string encoded(const Verdict& verdict) {
  std::string word;
  for (const auto& [name, each] : kWords) {
    if (each == verdict.kind) {
      word = name;
    }
  }
  // A line feed of the text is followed by a tab, so that the end mark, whose line feed is not,
  // cannot stand inside the text of a verdict cut short.
  std::string lines;
  for (const char character : verdict.text) {
    lines += character;
    if (character == '\n') {
      lines += '\t';
    }
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
  std::string text;
  for (std::size_t index = lineEnd + 1; index < textEnd; ++index) {
    text += written[index];
    if (written[index] == '\n') {
      if (index + 1 == textEnd || written[index + 1] != '\t') {
        return std::nullopt;  // a line feed that is no text's: the verdict was cut or forged
      }
      ++index;
    }
  }
  for (const auto& [name, kind] : kWords) {
    if (word == name) {
      return Verdict{kind, std::move(text)};
    }
  }
  return std::nullopt;
}

}  // namespace rawout
