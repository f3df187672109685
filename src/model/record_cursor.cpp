#include "model/record_cursor.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <memory>
#include <system_error>

#include "model/file_access.h"
#include "model/messages.h"

namespace vireon {

RecordCursor::RecordCursor(std::string text) : text_(std::move(text)) {
  text_.push_back('\n');
  std::size_t end = text_.size();
  while (end > 0 && detail::IsScanSpace(text_[end - 1])) --end;
  contentEnd_ = end;
  feed_ = text_.find('\n');
}

std::string_view RecordCursor::Line() const {
  std::string_view line = LineWithFeed();
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  return line;
}

std::string_view RecordCursor::LineWithFeed() const {
  std::string_view rest = std::string_view(text_).substr(lineStart_);
  return feed_ == std::string::npos ? rest : rest.substr(0, feed_ + 1 - lineStart_);
}

bool RecordCursor::Advance() {
  if (feed_ == std::string::npos || lineNumber_ == INT_MAX) return false;
  lineStart_ = feed_ + 1;
  feed_ = text_.find('\n', lineStart_);
  ++lineNumber_;
  return true;
}

namespace detail {
namespace {

// Saturation bound for exponents while judging an out-of-range real: far
// beyond any representable magnitude, far below overflow of long long.
constexpr long long kExponentCap = 1'000'000'000'000LL;

bool IsDecimalDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsHexDigit(char c) {
  return IsDecimalDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int DigitValue(char c) {
  if (IsDecimalDigit(c)) return c - '0';
  return (c | 0x20) - 'a' + 10;
}

// True when the mantissa and exponent of a real written in text (no sign)
// describe a magnitude below 1. A real that the conversion finds out of range
// has then underflowed (and reads as zero, as scanf reads it); otherwise it
// has overflowed. digitsPerPower is log2 of the radix for hexadecimal
// mantissas (whose exponent counts powers of two) and 1 for decimal ones.
bool MagnitudeBelowOne(std::string_view text, bool hexadecimal) {
  const int digitsPerPower = hexadecimal ? 4 : 1;
  const char exponentMark = hexadecimal ? 'p' : 'e';
  long long integerDigits = 0;
  long long firstSignificant = -1;  // index among all mantissa digits
  long long digitIndex = 0;
  bool afterPoint = false;
  std::size_t i = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c == '.' && !afterPoint) {
      afterPoint = true;
      continue;
    }
    if (!(hexadecimal ? IsHexDigit(c) : IsDecimalDigit(c))) break;
    if (firstSignificant < 0 && DigitValue(c) != 0) firstSignificant = digitIndex;
    if (!afterPoint) ++integerDigits;
    ++digitIndex;
  }
  if (firstSignificant < 0) return true;  // zero never overflows
  long long exponent = 0;
  if (i < text.size() && (text[i] | 0x20) == exponentMark) {
    ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    for (; i < text.size() && IsDecimalDigit(text[i]); ++i) {
      if (exponent < kExponentCap) exponent = exponent * 10 + (text[i] - '0');
    }
    if (negative) exponent = -exponent;
  }
  long long leading = (integerDigits - firstSignificant - 1) * digitsPerPower + exponent;
  return leading < 0;
}

template <typename T>
bool ParseInteger(std::string_view text, std::size_t& position, T& value) {
  std::size_t p = position;
  if (text[p] == '+') {
    ++p;
    if (p >= text.size() || !IsDecimalDigit(text[p])) return false;
  }
  T parsed{};
  auto [end, error] = std::from_chars(text.data() + p, text.data() + text.size(), parsed);
  if (error != std::errc()) return false;  // no digits, or too large for T
  value = parsed;
  position = static_cast<std::size_t>(end - text.data());
  return true;
}

// Reads a real the way strtod does (the longest prefix that forms one):
// decimal or hexadecimal notation, "inf", "infinity", "nan", "nan(...)".
// Overflow fails; underflow gives a zero of the right sign.
template <typename T>
bool ParseReal(std::string_view text, std::size_t& position, T& value) {
  const char* begin = text.data();
  const char* last = text.data() + text.size();
  std::size_t p = position;
  bool negative = false;
  if (text[p] == '+' || text[p] == '-') negative = text[p++] == '-';
  if (p >= text.size() || text[p] == '+' || text[p] == '-') return false;

  T magnitude{};
  const char* end = nullptr;
  bool parsed = false;
  if (text[p] == '0' && p + 2 < text.size() && (text[p + 1] | 0x20) == 'x' &&
      (IsHexDigit(text[p + 2]) ||
       (text[p + 2] == '.' && p + 3 < text.size() && IsHexDigit(text[p + 3])))) {
    const char* digits = begin + p + 2;
    auto result = std::from_chars(digits, last, magnitude, std::chars_format::hex);
    if (result.ec == std::errc::result_out_of_range) {
      if (!MagnitudeBelowOne(std::string_view(digits, result.ptr - digits), true)) return false;
      magnitude = T(0);
      result.ec = std::errc();
    }
    if (result.ec == std::errc()) {
      end = result.ptr;
      parsed = true;
    }
  }
  if (!parsed) {
    const char* digits = begin + p;
    auto result = std::from_chars(digits, last, magnitude, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
      if (!MagnitudeBelowOne(std::string_view(digits, result.ptr - digits), false)) return false;
      magnitude = T(0);
      result.ec = std::errc();
    }
    if (result.ec != std::errc()) return false;
    end = result.ptr;
  }
  value = negative ? -magnitude : magnitude;
  position = static_cast<std::size_t>(end - begin);
  return true;
}

bool Convert(std::string_view text, std::size_t& position, FieldKind kind, void* destination) {
  switch (kind) {
    case FieldKind::kInt: {
      int value = 0;
      if (!ParseInteger(text, position, value)) return false;
      if (destination) *static_cast<int*>(destination) = value;
      return true;
    }
    case FieldKind::kShort: {
      std::int16_t value = 0;
      if (!ParseInteger(text, position, value)) return false;
      if (destination) *static_cast<std::int16_t*>(destination) = value;
      return true;
    }
    case FieldKind::kFloat: {
      float value = 0.0f;
      if (!ParseReal(text, position, value)) return false;
      if (destination) *static_cast<float*>(destination) = value;
      return true;
    }
    case FieldKind::kDouble: {
      double value = 0.0;
      if (!ParseReal(text, position, value)) return false;
      if (destination) *static_cast<double*>(destination) = value;
      return true;
    }
  }
  return false;
}

}  // namespace

// Applies the directives of format to text in order, as scanf does:
// whitespace in the format takes any run of whitespace (also none), a
// literal must match the next character, a conversion (and "%%") first
// skips whitespace. Running out of text is an input failure (kEndOfData
// when nothing was stored yet); anything else that does not fit is a
// matching failure that returns the fields stored so far.
ScanResult Scan(std::string_view text, std::string_view format,
                std::span<const FieldTarget> targets) {
  ScanResult result;
  std::size_t position = 0;
  std::size_t nextTarget = 0;
  auto skipSpace = [&] {
    while (position < text.size() && IsScanSpace(text[position])) ++position;
  };
  auto inputFailure = [&] {
    if (result.fields == 0) result.fields = kEndOfData;
    result.consumed = position;
    return result;
  };
  auto matchingFailure = [&] {
    result.consumed = position;
    return result;
  };

  for (std::size_t i = 0; i < format.size();) {
    Directive directive = ParseDirective(format, i);
    i += directive.length;
    switch (directive.type) {
      case Directive::Type::kWhitespace:
        skipSpace();
        break;
      case Directive::Type::kLiteral:
        if (directive.literal == '%') skipSpace();  // "%%" is a conversion
        if (position >= text.size()) return inputFailure();
        if (text[position] != directive.literal) return matchingFailure();
        ++position;
        break;
      case Directive::Type::kConversion: {
        void* destination = nullptr;
        if (!directive.suppressed) {
          // Checked when the program was compiled; kept as a guard.
          if (nextTarget >= targets.size() || targets[nextTarget].kind != directive.kind) {
            return matchingFailure();
          }
          destination = targets[nextTarget].destination;
        }
        skipSpace();
        if (position >= text.size()) return inputFailure();
        if (!Convert(text, position, directive.kind, destination)) return matchingFailure();
        if (!directive.suppressed) {
          ++nextTarget;
          ++result.fields;
        }
        break;
      }
      case Directive::Type::kEnd:
      case Directive::Type::kInvalid:
        return matchingFailure();
    }
  }
  result.consumed = position;
  return result;
}

}  // namespace detail

bool CheckFields(int result, int expected, int lineNumber, MessageSink& sink) {
  if (result == expected) return true;
  std::string text = result == kEndOfData ? "Unexpected end of file at line "
                                          : "Failed to read one or more fields at line ";
  text += std::to_string(lineNumber);
  sink.Error(messages::kFileErrorTitle, text);
  return false;
}

std::optional<std::string> ReadString(const RecordCursor& cursor) {
  std::string_view line = cursor.Line();
  std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  std::string_view value = line.substr(equals + 1);
  return std::string(value.substr(0, value.find('\r')));
}

bool NextLine(RecordCursor& cursor) {
  return cursor.Advance();
}

std::optional<std::string> ReadStringLine(RecordCursor& cursor, MessageSink& sink) {
  std::optional<std::string> value = ReadString(cursor);
  if (!value) {
    CheckFields(cursor.AtEndOfData() ? kEndOfData : 0, 1, cursor.lineNumber(), sink);
    return std::nullopt;
  }
  if (!NextLine(cursor)) return std::nullopt;
  return value;
}

FileErrorCause FileErrorCauseFromErrno(int errorNumber, FileOperation operation) {
  switch (errorNumber) {
    case 0:
      return FileErrorCause::kNone;
    case ENOENT:
    case ENXIO:
    case ENODEV:
      return FileErrorCause::kFileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return FileErrorCause::kBadPath;
    case EMFILE:
    case ENFILE:
      return FileErrorCause::kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EEXIST:
      return FileErrorCause::kAccessDenied;
    case EBADF:
      return FileErrorCause::kInvalidFile;
    case EBUSY:
      return operation == FileOperation::kRemoveDirectory ? FileErrorCause::kRemoveCurrentDirectory
                                                          : FileErrorCause::kSharingViolation;
    case ETXTBSY:
      return FileErrorCause::kSharingViolation;
    case EMLINK:
      return FileErrorCause::kDirectoryFull;
    case ESPIPE:
    case EOVERFLOW:
      return FileErrorCause::kBadSeek;
    case EIO:
      return FileErrorCause::kHardIo;
    case ENOLCK:
    case EDEADLK:
      return FileErrorCause::kLockViolation;
    case ENOSPC:
    case EDQUOT:
      return FileErrorCause::kDiskFull;
    case EFBIG:
      return FileErrorCause::kFileTooLarge;
    default:
      return FileErrorCause::kGeneric;
  }
}

std::string_view FileErrorText(FileErrorCause cause) {
  switch (cause) {
    case FileErrorCause::kFileNotFound:
      return "The file could not be located.";
    case FileErrorCause::kBadPath:
      return "All or part of the path is invalid.";
    case FileErrorCause::kTooManyOpenFiles:
      return "The permitted number of open files was exceeded.";
    case FileErrorCause::kAccessDenied:
      return "The file could not be accessed.";
    case FileErrorCause::kInvalidFile:
      return "There was an attempt to use an invalid file handle.";
    case FileErrorCause::kRemoveCurrentDirectory:
      return "The current working directory cannot be removed.";
    case FileErrorCause::kDirectoryFull:
      return "There are no more directory entries.";
    case FileErrorCause::kBadSeek:
      return "There was an error trying to set the file pointer.";
    case FileErrorCause::kHardIo:
      return "There was a hardware file I/O error.";
    case FileErrorCause::kSharingViolation:
      return "A shared region of the file is locked.";
    case FileErrorCause::kLockViolation:
      return "There was an attempt to lock a region that was already locked.";
    case FileErrorCause::kDiskFull:
      return "The disk is full.";
    case FileErrorCause::kEndOfFile:
      return "The end of file was reached.";
    case FileErrorCause::kNotRegularFile:
      return "The file is not a regular file.";
    case FileErrorCause::kFileTooLarge:
      return "The file is too large.";
    case FileErrorCause::kNone:
    case FileErrorCause::kGeneric:
      break;
  }
  return "An unspecified file I/O error occurred.";
}

FileErrorCause ReadWholeFile(const std::filesystem::path& path, std::string& contents) {
  return ReadInputFile(path, kMaxRecordFileSize, contents).cause;
}

}  // namespace vireon
