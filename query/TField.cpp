#include "DateTimeText.h"
#include "Exception.h"
#include "TClientDataSet.h"

#include <limits>

namespace {

enum class Conversion { Ok, Invalid, OutOfRange };

// An optional sign and decimal digits, nothing else.
Conversion parse_integer(std::string_view s, std::int64_t min, std::int64_t max, std::int64_t &out) {
  size_t i = 0;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-'))
    negative = s[i++] == '-';
  if (i == s.size())
    return Conversion::Invalid;
  std::uint64_t magnitude = 0;
  bool overflow = false;
  for (; i < s.size(); ++i) {
    if (s[i] < '0' || s[i] > '9')
      return Conversion::Invalid;
    overflow = overflow || __builtin_mul_overflow(magnitude, 10u, &magnitude) ||
               __builtin_add_overflow(magnitude, static_cast<unsigned>(s[i] - '0'), &magnitude);
  }
  std::uint64_t limit = negative ? 0 - static_cast<std::uint64_t>(min) : static_cast<std::uint64_t>(max);
  if (overflow || magnitude > limit)
    return Conversion::OutOfRange;
  out = negative ? static_cast<std::int64_t>(0 - magnitude) : static_cast<std::int64_t>(magnitude);
  return Conversion::Ok;
}

// The first `count` characters of UTF-8 text.
std::string_view first_characters(std::string_view s, int count) {
  int seen = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80 && seen++ == count)
      return s.substr(0, i);
  }
  return s;
}

} // namespace

TField::TField(TClientDataSet &table, size_t index, const TFieldDef &def)
    : table_(&table), index_(index), name_(def.Name()), type_(def.DataType()), size_(def.Size()) {}

void TField::Refuse(std::string_view text, const char *reason) const {
  throw Exception("'" + std::string(text) + "' " + reason + " (campo " + name_ + ", " + FieldTypeName(type_) +
                  ")");
}

bool TField::IsNull() const {
  return table_->Cell(index_).null;
}

std::string TField::AsString() const {
  auto cell = table_->Cell(index_);
  if (cell.null)
    return {};
  switch (type_) {
  case ftString:
  case ftBlob:
    return std::string(cell.bytes);
  case ftBCD:
    return FixedDecimal::FromScaled(cell.value).ToString(',');
  case ftDate:
    return datetime::FormatDate(cell.value);
  case ftTime:
    return datetime::FormatTime(cell.value);
  case ftDateTime:
  case ftTimeStamp:
    return datetime::FormatDateTime(cell.value);
  default:
    return std::to_string(cell.value);
  }
}

std::int64_t TField::AsLargeInt() const {
  auto cell = table_->Cell(index_);
  if (cell.null)
    return 0;
  if (type_ == ftInteger || type_ == ftLargeint)
    return cell.value;
  std::int64_t value = 0;
  if (type_ != ftString || parse_integer(cell.bytes, std::numeric_limits<std::int64_t>::min(),
                                         std::numeric_limits<std::int64_t>::max(), value) != Conversion::Ok)
    Refuse(AsString(), "não pode ser lido como Largeint");
  return value;
}

std::int32_t TField::AsInteger() const {
  std::int64_t value = AsLargeInt();
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
    Refuse(AsString(), "não pode ser lido como Integer");
  return static_cast<std::int32_t>(value);
}

FixedDecimal TField::AsBCD() const {
  auto cell = table_->Cell(index_);
  if (cell.null)
    return {};
  if (type_ == ftBCD)
    return FixedDecimal::FromScaled(cell.value);
  std::int64_t scaled = 0;
  if ((type_ == ftInteger || type_ == ftLargeint) &&
      !__builtin_mul_overflow(cell.value, FixedDecimal::Scale, &scaled))
    return FixedDecimal::FromScaled(scaled);
  FixedDecimal value;
  if (type_ != ftString || FixedDecimal::FromText(cell.bytes, ',', value) != FixedDecimal::Parse::Ok)
    Refuse(AsString(), "não pode ser lido como BCD");
  return value;
}

double TField::AsDateTime() const {
  auto cell = table_->Cell(index_);
  if (cell.null)
    return 0;
  if (type_ != ftDate && type_ != ftTime && type_ != ftDateTime && type_ != ftTimeStamp)
    Refuse(AsString(), "não pode ser lido como data e hora");
  return datetime::ToDateTimeValue(cell.value);
}

std::vector<std::uint8_t> TField::AsBytes() const {
  std::string bytes = AsString();
  return {bytes.begin(), bytes.end()};
}

void TField::Store(std::int64_t value) {
  auto &cell = table_->Editable(index_);
  cell.null = false;
  cell.value = value;
}

void TField::AsVariant(std::string_view text) {
  auto &cell = table_->Editable(index_);
  if (type_ == ftString || type_ == ftBlob) {
    cell.bytes.assign(type_ == ftString ? first_characters(text, size_) : text);
    cell.null = false;
    return;
  }
  if (text.empty()) {
    Clear();
    return;
  }
  std::optional<std::int64_t> moment;
  switch (type_) {
  case ftInteger:
  case ftLargeint: {
    std::int64_t value = 0;
    bool wide = type_ == ftLargeint;
    auto result = parse_integer(
        text, wide ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int32_t>::min(),
        wide ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int32_t>::max(), value);
    if (result == Conversion::OutOfRange)
      Refuse(text, "está fora do intervalo");
    if (result == Conversion::Invalid)
      Refuse(text, "não é um valor válido");
    return Store(value);
  }
  case ftBCD: {
    FixedDecimal value;
    auto result = FixedDecimal::FromText(text, ',', value);
    if (result == FixedDecimal::Parse::OutOfRange)
      Refuse(text, "está fora do intervalo");
    if (result == FixedDecimal::Parse::Invalid)
      Refuse(text, "não é um valor válido");
    return Store(value.Scaled());
  }
  case ftDate:
    moment = datetime::ParseDate(text);
    break;
  case ftTime:
    moment = datetime::ParseTime(text);
    break;
  default:
    moment = datetime::ParseDateTime(text);
    break;
  }
  if (!moment)
    Refuse(text, "não é um valor válido");
  Store(*moment);
}

void TField::AsVariant(std::span<const std::uint8_t> bytes) {
  if (type_ != ftBlob)
    throw Exception("O campo " + name_ + " (" + FieldTypeName(type_) + ") não recebe bytes");
  auto &cell = table_->Editable(index_);
  cell.bytes.assign(bytes.begin(), bytes.end());
  cell.null = false;
}

void TField::AsBCD(FixedDecimal value) {
  if (type_ != ftBCD)
    throw Exception("O campo " + name_ + " (" + FieldTypeName(type_) + ") não recebe um valor decimal");
  Store(value.Scaled());
}

void TField::Clear() {
  auto &cell = table_->Editable(index_);
  cell.null = true;
  cell.value = 0;
  cell.bytes.clear();
}
