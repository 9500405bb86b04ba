#include "core/production/journal_name.h"

#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <vector>

namespace kvx {

namespace {

constexpr char kMask[] = "***";
// Shorter passwords are masked where a name's patterns show them, not wherever their letters
// happen to stand in a message.
constexpr std::size_t kShortestLiteral = 3;

constexpr char kHowToName[] =
    ": a shared journal is named postgresql://USER@HOST/DB (or postgres://), service=NAME or "
    "libpq's key=value pairs (dbname=DB host=HOST user=USER); a file whose name looks like one "
    "of these is given as ./NAME";

bool IsWordChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_'; }
bool IsSpace(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Where a PostgreSQL URI starts at `at` in `text`: the length of its scheme and "://", or 0.
std::size_t UriSchemeAt(std::string_view text, std::size_t at) {
  const std::string head = Lower(text.substr(at, 13));
  if (head.starts_with("postgresql://")) return 13;
  if (head.starts_with("postgres://")) return 11;
  return 0;
}

// The value that starts at `at`, as libpq reads a key=value string: quoted ('...', a backslash
// escaping the next character) or up to white space. Returns where it ends.
std::size_t KeyValueEnd(std::string_view text, std::size_t at) {
  if (at < text.size() && text[at] == '\'') {
    for (std::size_t i = at + 1; i < text.size(); ++i) {
      if (text[i] == '\\') ++i;
      else if (text[i] == '\'') return i + 1;
    }
    return text.size();
  }
  std::size_t end = at;
  while (end < text.size() && !IsSpace(text[end])) ++end;
  return end;
}

// A word ending in "password" at `at` (not inside a longer word), then "=": where its value
// starts, or npos.
std::size_t PasswordValueAt(std::string_view text, std::size_t at, std::size_t& wordEnd) {
  wordEnd = at;
  while (wordEnd < text.size() && IsWordChar(text[wordEnd])) ++wordEnd;
  if (!Lower(text.substr(at, wordEnd - at)).ends_with("password")) return std::string_view::npos;
  std::size_t i = wordEnd;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i >= text.size() || text[i] != '=') return std::string_view::npos;
  ++i;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  return i;
}

// One URI (up to white space): the user's password, and every password= of its query.
std::string MaskUri(std::string_view uri, std::size_t schemeLength,
                    std::vector<std::string>& masked) {
  std::string out(uri);
  // The last '@' ends the user part: a password with an '@' (or a '/') of its own is masked
  // whole, at worst with some of the host.
  const std::size_t at = out.rfind('@');
  if (at != std::string::npos && at > schemeLength) {
    const std::size_t colon = out.find(':', schemeLength);
    if (colon < at) {
      masked.push_back(out.substr(colon + 1, at - colon - 1));
      out.replace(colon + 1, at - colon - 1, kMask);
    }
  }
  for (std::size_t q = out.find('?'); q != std::string::npos && q < out.size();) {
    const std::size_t key = q + 1;
    std::size_t wordEnd = key;
    const std::size_t value = PasswordValueAt(out, key, wordEnd);
    std::size_t next = out.find('&', key);
    if (value != std::string::npos) {
      const std::size_t end = std::min(out.find_first_of("&\"#", value), out.size());
      masked.push_back(out.substr(value, end - value));
      out.replace(value, end - value, kMask);
      next = out.find('&', value);
    }
    q = next;
  }
  return out;
}

std::string Mask(std::string_view text, std::vector<std::string>& masked) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    if (const std::size_t scheme = UriSchemeAt(text, i); scheme > 0) {
      std::size_t end = i;
      while (end < text.size() && !IsSpace(text[end])) ++end;
      out += MaskUri(text.substr(i, end - i), scheme, masked);
      i = end;
      continue;
    }
    if (IsWordChar(text[i]) && (i == 0 || !IsWordChar(text[i - 1]))) {
      std::size_t wordEnd = i;
      const std::size_t value = PasswordValueAt(text, i, wordEnd);
      if (value != std::string_view::npos) {
        const std::size_t end = KeyValueEnd(text, value);
        out += text.substr(i, value - i);
        out += kMask;
        masked.emplace_back(text.substr(value, end - value));
        i = end;
      } else {
        out += text.substr(i, wordEnd - i);
        i = wordEnd;
      }
      continue;
    }
    out += text[i++];
  }
  return out;
}

using Options = std::map<std::string, std::string>;

// libpq's reading of a connection string: true with its options, or false with its message.
bool ParseConnInfo(const std::string& text, Options& options, std::string& message) {
  char* error = nullptr;
  PQconninfoOption* parsed = PQconninfoParse(text.c_str(), &error);
  if (parsed == nullptr) {
    message = error != nullptr ? error : "out of memory";
    if (error != nullptr) PQfreemem(error);
    while (!message.empty() && IsSpace(message.back())) message.pop_back();
    return false;
  }
  for (PQconninfoOption* o = parsed; o->keyword != nullptr; ++o)
    if (o->val != nullptr) options[o->keyword] = o->val;
  PQconninfoFree(parsed);
  return true;
}

// "postgresql://user@host:port/database", or "service=NAME" for a service alone.
std::string ServerShown(const Options& options) {
  auto get = [&](const char* key) {
    const auto it = options.find(key);
    return it == options.end() ? std::string() : it->second;
  };
  const std::string user = get("user"), host = get("host"), port = get("port");
  if (!get("service").empty() && host.empty()) return "service=" + get("service");
  return "postgresql://" + (user.empty() ? "" : user + "@") + host +
         (port.empty() ? "" : ":" + port) + "/" + get("dbname");
}

enum class Shape { File, PostgresUri, MisspelledUri, OtherUri, KeyValue };

Shape ShapeOf(std::string_view text) {
  if (UriSchemeAt(text, 0) > 0)
    return text.starts_with("postgresql://") || text.starts_with("postgres://")
               ? Shape::PostgresUri
               : Shape::MisspelledUri;  // POSTGRESQL:// and the like: libpq takes lower case
  const std::string lower = Lower(text.substr(0, 11));
  if (lower.starts_with("postgres:") || lower.starts_with("postgresql:"))
    return Shape::MisspelledUri;
  std::size_t i = 0;
  if (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])) != 0) {
    while (i < text.size() &&
           (std::isalnum(static_cast<unsigned char>(text[i])) != 0 || text[i] == '+' ||
            text[i] == '.' || text[i] == '-'))
      ++i;
    if (text.substr(i).starts_with("://")) return Shape::OtherUri;
  }
  i = 0;
  while (i < text.size() && IsWordChar(text[i])) ++i;
  if (i == 0 || std::isdigit(static_cast<unsigned char>(text[0])) != 0) return Shape::File;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  return i < text.size() && text[i] == '=' ? Shape::KeyValue : Shape::File;
}

}  // namespace

std::string HidePasswords(std::string_view text, std::string_view name) {
  std::vector<std::string> masked;
  std::string out = Mask(text, masked);
  if (name.empty()) return out;
  std::vector<std::string> secrets;
  Mask(name, secrets);
  Options options;
  std::string message;
  if (ParseConnInfo(std::string(Trim(name)), options, message)) {
    for (const char* key : {"password", "sslpassword"})
      if (options.contains(key)) secrets.push_back(options[key]);
  }
  // The longest first, so a password that holds another is masked whole.
  std::sort(secrets.begin(), secrets.end(),
            [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
  for (const std::string& secret : secrets) {
    if (secret.size() < kShortestLiteral || secret == kMask) continue;
    for (std::size_t at = out.find(secret); at != std::string::npos;
         at = out.find(secret, at + sizeof kMask - 1))
      out.replace(at, secret.size(), kMask);
  }
  return out;
}

JournalName ParseJournalName(std::string_view name) {
  JournalName result;
  const std::string_view text = Trim(name);
  const Shape shape = ShapeOf(text);
  if (shape == Shape::File && !text.empty()) {
    result.value = std::string(name);
    result.shown = result.value;
    return result;
  }
  result.kind = JournalName::Kind::Invalid;
  result.shown = HidePasswords(text, text);
  auto invalid = [&](const std::string& why) {
    result.error = "the journal \"" + result.shown + "\" " + why + kHowToName;
    return result;
  };
  switch (shape) {
    case Shape::File:
      result.shown.clear();
      result.error = "no journal was named: give a file or a shared journal's server";
      return result;
    case Shape::MisspelledUri:
      return invalid("is no server address (a server's URI starts postgresql:// or postgres://, "
                     "in lower case)");
    case Shape::OtherUri:
      return invalid("is a URI, but not a PostgreSQL server's");
    case Shape::PostgresUri:
    case Shape::KeyValue:
      break;
  }
  Options options;
  std::string message;
  const std::string value(text);
  if (!ParseConnInfo(value, options, message))
    return invalid("is no server address kvxw can read (" + HidePasswords(message, text) + ")");
  if (options.contains("service") && Trim(options["service"]).empty())
    return invalid("names no service");
  result.kind = JournalName::Kind::Server;
  result.value = value;
  result.shown = ServerShown(options);
  return result;
}

}  // namespace kvx
