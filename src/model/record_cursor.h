#pragma once
// The line reader shared by every text file the program reads back (model
// files, the kinetics database, and the records they embed), and the texts
// that name the cause of a failed file operation.
//
// A record is read line by line in a fixed order:
//
//   int points = 0;
//   if (!ReadFieldLine(cursor, sink, "Points=%d", &points)) return false;
//   std::optional<std::string> title = ReadStringLine(cursor, sink);
//   if (!title) return false;
//
// Formats follow scanf: "%d" (int), "%hd" (std::int16_t), "%f" "%e" "%g"
// (float), "%lf" "%le" "%lg" (double), "%*d" and the like to skip a field,
// "%%" for a percent sign, a blank to skip any run of whitespace, and any
// other character to be matched exactly. The format is checked against the
// destinations when the program is compiled. A real field takes the longest
// prefix that forms a number, as strtod does ("1e" reads as 1 and leaves the
// "e"), including "inf", "nan" and hexadecimal notation. Unlike scanf, a
// number that does not fit its destination is a failed field, never a
// wrapped or infinite value; a real too small for it reads as zero.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "model/message_sink.h"

namespace vireon {

// What ReadFields returns when the file has ended: the current line and
// everything after it are blank.
inline constexpr int kEndOfData = -1;

// The whole text of a file with a line feed appended, the start of the
// current line, and its number (the first line is 1).
class RecordCursor {
 public:
  explicit RecordCursor(std::string text);

  // The current line without its line feed; a carriage return before the
  // line feed stays part of it.
  std::string_view Line() const;
  // The current line including its line feed (empty at the very end).
  std::string_view LineWithFeed() const;
  int lineNumber() const { return lineNumber_; }
  // True when nothing but whitespace is left from the current line on.
  bool AtEndOfData() const { return lineStart_ >= contentEnd_; }
  // True when nothing but whitespace follows the current line.
  bool AtLastLineOfData() const { return lineStart_ + LineWithFeed().size() >= contentEnd_; }
  // Moves to the character after the next line feed; false (and no move)
  // when there is no further line.
  bool Advance();

 private:
  std::string text_;
  std::size_t lineStart_ = 0;
  std::size_t feed_ = 0;        // the current line's line feed (npos at the very end)
  std::size_t contentEnd_ = 0;  // one past the last non-whitespace character
  int lineNumber_ = 1;
};

namespace detail {

enum class FieldKind : unsigned char { kInt, kShort, kFloat, kDouble };

template <typename T>
struct FieldKindOf;
template <>
struct FieldKindOf<int> : std::integral_constant<FieldKind, FieldKind::kInt> {};
template <>
struct FieldKindOf<std::int16_t> : std::integral_constant<FieldKind, FieldKind::kShort> {};
template <>
struct FieldKindOf<float> : std::integral_constant<FieldKind, FieldKind::kFloat> {};
template <>
struct FieldKindOf<double> : std::integral_constant<FieldKind, FieldKind::kDouble> {};

// One piece of a format: a conversion (with its kind, possibly suppressed),
// a whitespace directive, a literal character, or the end.
struct Directive {
  enum class Type : unsigned char { kEnd, kWhitespace, kLiteral, kConversion, kInvalid };
  Type type = Type::kEnd;
  char literal = 0;
  FieldKind kind = FieldKind::kInt;
  bool suppressed = false;
  std::size_t length = 0;  // characters of the format it takes
};

constexpr bool IsScanSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Decodes the directive that starts at format[position].
constexpr Directive ParseDirective(std::string_view format, std::size_t position) {
  Directive d;
  if (position >= format.size()) return d;
  char c = format[position];
  if (IsScanSpace(c)) {
    d.type = Directive::Type::kWhitespace;
    std::size_t end = position;
    while (end < format.size() && IsScanSpace(format[end])) ++end;
    d.length = end - position;
    return d;
  }
  if (c != '%') {
    d.type = Directive::Type::kLiteral;
    d.literal = c;
    d.length = 1;
    return d;
  }
  std::size_t i = position + 1;
  if (i < format.size() && format[i] == '%') {
    d.type = Directive::Type::kLiteral;
    d.literal = '%';
    d.length = 2;
    return d;
  }
  if (i < format.size() && format[i] == '*') {
    d.suppressed = true;
    ++i;
  }
  int lengthModifier = 0;  // 'h' or 'l'
  if (i < format.size() && (format[i] == 'h' || format[i] == 'l')) lengthModifier = format[i++];
  if (i >= format.size()) {
    d.type = Directive::Type::kInvalid;
    return d;
  }
  char conversion = format[i++];
  d.type = Directive::Type::kConversion;
  d.length = i - position;
  if (conversion == 'd') {
    if (lengthModifier == 0) {
      d.kind = FieldKind::kInt;
    } else if (lengthModifier == 'h') {
      d.kind = FieldKind::kShort;
    } else {
      d.type = Directive::Type::kInvalid;
    }
  } else if (conversion == 'f' || conversion == 'e' || conversion == 'g' || conversion == 'E' ||
             conversion == 'G') {
    if (lengthModifier == 0) {
      d.kind = FieldKind::kFloat;
    } else if (lengthModifier == 'l') {
      d.kind = FieldKind::kDouble;
    } else {
      d.type = Directive::Type::kInvalid;
    }
  } else {
    d.type = Directive::Type::kInvalid;
  }
  return d;
}

// True when every directive is supported and the kept conversions match
// the destination kinds one to one.
constexpr bool FormatMatches(std::string_view format, std::initializer_list<FieldKind> kinds) {
  const FieldKind* next = kinds.begin();
  for (std::size_t i = 0; i < format.size();) {
    Directive d = ParseDirective(format, i);
    if (d.type == Directive::Type::kInvalid) return false;
    if (d.type == Directive::Type::kConversion && !d.suppressed) {
      if (next == kinds.end() || *next != d.kind) return false;
      ++next;
    }
    i += d.length;
  }
  return next == kinds.end();
}

// Deliberately not constexpr: reaching it while a format is checked at
// compile time is what makes a bad format a compile error.
void FormatDoesNotMatchDestinations();

struct FieldTarget {
  FieldKind kind;
  void* destination;
};

}  // namespace detail

// A scanf-style format whose conversions match the destination types Ts.
// It can only be built from a string literal, and a mismatch does not compile.
template <typename... Ts>
class FieldFormat {
 public:
  template <std::size_t N>
  consteval FieldFormat(const char (&format)[N]) : text_(format, N - 1) {
    if (!detail::FormatMatches(text_, {detail::FieldKindOf<Ts>::value...})) {
      detail::FormatDoesNotMatchDestinations();
    }
  }
  constexpr std::string_view text() const { return text_; }
  // The number of fields the format converts (suppressed ones not counted).
  static constexpr int FieldCount() { return static_cast<int>(sizeof...(Ts)); }

 private:
  std::string_view text_;
};

template <typename... Ts>
using FieldFormatFor = FieldFormat<std::type_identity_t<Ts>...>;

// The outcome of scanning one piece of text.
struct ScanResult {
  int fields = 0;            // fields converted and stored, or kEndOfData
  std::size_t consumed = 0;  // characters of the text taken up to where the scan stopped
};

namespace detail {
ScanResult Scan(std::string_view text, std::string_view format,
                std::span<const FieldTarget> targets);
}  // namespace detail

// scanf on a piece of text: directives are applied in order until one
// fails. The result counts the fields stored so far; it is kEndOfData when
// the text ran out before the first field was stored. Fields stored before a
// failure keep their values; the others are untouched.
template <typename... Ts>
ScanResult ScanFields(std::string_view text, FieldFormatFor<Ts...> format, Ts*... destinations) {
  const detail::FieldTarget targets[] = {
      {detail::FieldKindOf<Ts>::value, static_cast<void*>(destinations)}...,
      {detail::FieldKind::kInt, nullptr}};
  return detail::Scan(text, format.text(), std::span(targets, sizeof...(Ts)));
}

// Reads fields from the current line (a scan never runs into the next
// line). Returns the number of fields stored, or kEndOfData when the file
// has ended before the first field: only blank lines remain, or the last
// line runs out before its first field ("Points=" at the very end). A line
// that runs out before its first field while the file goes on counts as 0
// fields.
template <typename... Ts>
int ReadFields(const RecordCursor& cursor, FieldFormatFor<Ts...> format, Ts*... destinations) {
  if (cursor.AtEndOfData()) return kEndOfData;
  int fields = ScanFields<Ts...>(cursor.LineWithFeed(), format, destinations...).fields;
  if (fields != kEndOfData) return fields;
  return cursor.AtLastLineOfData() ? kEndOfData : 0;
}

// True when result equals expected. Otherwise shows, as an error with the
// file error title, "Unexpected end of file at line N" (result kEndOfData)
// or "Failed to read one or more fields at line N", and returns false.
bool CheckFields(int result, int expected, int lineNumber, MessageSink& sink);

// The string value of the current line: everything after its first "=" up
// to, not including, the first carriage return or line feed. A line without
// "=" has no value.
std::optional<std::string> ReadString(const RecordCursor& cursor);

// Moves to the next line; false when there is none.
bool NextLine(RecordCursor& cursor);

// One field line: ReadFields, CheckFields with the number of fields the
// format converts, NextLine. False at the first of the three that fails
// (after the message of CheckFields).
template <typename... Ts>
bool ReadFieldLine(RecordCursor& cursor, MessageSink& sink, FieldFormatFor<Ts...> format,
                   Ts*... destinations) {
  int result = ReadFields<Ts...>(cursor, format, destinations...);
  if (!CheckFields(result, FieldFormat<Ts...>::FieldCount(), cursor.lineNumber(), sink)) {
    return false;
  }
  return NextLine(cursor);
}

// One string line: ReadString, then NextLine. A missing value is reported
// as CheckFields reports a missing field ("Unexpected end of file" when the
// file has ended, else "Failed to read one or more fields").
std::optional<std::string> ReadStringLine(RecordCursor& cursor, MessageSink& sink);

// The cause of a failed file operation.
enum class FileErrorCause {
  kNone,
  kGeneric,
  kFileNotFound,
  kBadPath,
  kTooManyOpenFiles,
  kAccessDenied,
  kInvalidFile,
  kRemoveCurrentDirectory,
  kDirectoryFull,
  kBadSeek,
  kHardIo,
  kSharingViolation,
  kLockViolation,
  kDiskFull,
  kEndOfFile,
  // Beyond the table of old: an input that is a FIFO, a device, a socket or
  // a folder, and a file beyond a size limit (its reader's, or the
  // process's ulimit -f on writing).
  kNotRegularFile,
  kFileTooLarge,
};

// What the failed operation was doing; it decides what a busy resource means.
enum class FileOperation { kAccess, kRemoveDirectory };

// Maps an errno value to its cause (0 is kNone, an unknown value kGeneric).
FileErrorCause FileErrorCauseFromErrno(int errorNumber,
                                       FileOperation operation = FileOperation::kAccess);

// The text shown to the user for a cause ("The disk is full.").
std::string_view FileErrorText(FileErrorCause cause);

// Reads a whole file as it is (no line-end translation) through
// ReadInputFile (model/file_access.h). Returns kNone on success; anything
// but a regular file is refused as kNotRegularFile, a file larger than
// kMaxRecordFileSize as kFileTooLarge.
inline constexpr std::uintmax_t kMaxRecordFileSize = std::uintmax_t{1} << 30;
FileErrorCause ReadWholeFile(const std::filesystem::path& path, std::string& contents);

}  // namespace vireon
