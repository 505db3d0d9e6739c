// The values of the current row as booleans, integers and texts, with the conversions between them.
#include <strings.h>

#include <cctype>
#include <charconv>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

#include "blob_stream.h"
#include "store.h"
#include "table.h"

namespace vemla {

namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  return text;
}

bool equals_ignoring_case(std::string_view a, const char* b) {
  return a.size() == std::strlen(b) && strncasecmp(a.data(), b, a.size()) == 0;
}

TableError conversion_error(std::string_view text, const std::string& field, const char* kind) {
  return TableError("'" + std::string(text) + "' is not a valid " + kind + " value for field " + field);
}

// A boolean from a text: True/False, T/F, Yes/No, 1/0 in any case.
bool parse_boolean(std::string_view text, const std::string& field) {
  const std::string_view t = trimmed(text);
  for (const char* yes : {"true", "t", "yes", "y", "1"}) {
    if (equals_ignoring_case(t, yes)) return true;
  }
  for (const char* no : {"false", "f", "no", "n", "0"}) {
    if (equals_ignoring_case(t, no)) return false;
  }
  throw conversion_error(text, field, "boolean");
}

int64_t parse_integer(std::string_view text, const std::string& field) {
  const std::string_view t = trimmed(text);
  int64_t value = 0;
  const auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), value);
  if (error != std::errc() || end != t.data() + t.size()) throw conversion_error(text, field, "integer");
  return value;
}

}  // namespace

const ColumnDef& Field::definition() const {
  table_->check_field(*this);
  return table_->store_->columns()[column_];
}

const std::string& Field::name() const {
  return definition().name;
}
ColumnType Field::type() const {
  return definition().type;
}
int Field::size() const {
  return definition().size;
}

bool Field::is_empty() const {
  const ColumnDef& column = definition();
  const Value& value = table_->value_of(column_);
  if (column.type == ColumnType::Blob) {
    const auto* size = std::get_if<int64_t>(&value);  // a blob reads as its size
    return !size || *size == 0;
  }
  return std::holds_alternative<std::monostate>(value);
}

bool Field::as_boolean() const {
  const ColumnDef& column = definition();
  if (column.type == ColumnType::Blob)
    throw TableError("Field " + column.name + " cannot be read as a boolean");
  const Value& value = table_->value_of(column_);
  if (const auto* number = std::get_if<int64_t>(&value)) return *number != 0;
  if (const auto* text = std::get_if<std::string>(&value))
    return !text->empty() && parse_boolean(*text, column.name);
  return false;
}

int Field::as_integer() const {
  const ColumnDef& column = definition();
  if (column.type == ColumnType::Blob)
    throw TableError("Field " + column.name + " cannot be read as an integer");
  const Value& value = table_->value_of(column_);
  if (const auto* number = std::get_if<int64_t>(&value)) return static_cast<int>(*number);
  if (const auto* text = std::get_if<std::string>(&value)) {
    if (trimmed(*text).empty()) return 0;
    const int64_t number = parse_integer(*text, column.name);
    if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) {
      throw conversion_error(*text, column.name, "integer");
    }
    return static_cast<int>(number);
  }
  return 0;
}

std::string Field::as_text() const {
  const ColumnDef& column = definition();
  if (column.type == ColumnType::Blob) throw TableError("Field " + column.name + " cannot be read as a text");
  const Value& value = table_->value_of(column_);
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* number = std::get_if<int64_t>(&value)) {
    if (column.type == ColumnType::Boolean) return *number ? "True" : "False";
    return std::to_string(*number);
  }
  return {};
}

void Field::write(Value value) {
  table_->write_value(*this, std::move(value));
}

void Field::set_boolean(bool value) {
  const ColumnDef& column = definition();
  switch (column.type) {
    case ColumnType::String:
    case ColumnType::Memo:
      write(column.type == ColumnType::String ? cut_text(value ? "True" : "False", column.size)
                                              : std::string(value ? "True" : "False"));
      break;
    case ColumnType::Blob:
      throw TableError("Field " + column.name + " cannot be set from a boolean");
    default:
      write(int64_t{value ? 1 : 0});
  }
}

void Field::set_integer(int value) {
  const ColumnDef& column = definition();
  switch (column.type) {
    case ColumnType::String:
      write(cut_text(std::to_string(value), column.size));
      break;
    case ColumnType::Memo:
      write(std::to_string(value));
      break;
    case ColumnType::Blob:
      throw TableError("Field " + column.name + " cannot be set from an integer");
    case ColumnType::Boolean:
      write(int64_t{value != 0 ? 1 : 0});
      break;
    case ColumnType::SmallInt:
      if (value < -32768 || value > 32767) {
        throw TableError(std::to_string(value) + " is out of range for the smallint field " + column.name);
      }
      write(int64_t{value});
      break;
    case ColumnType::Integer:
      write(int64_t{value});
      break;
  }
}

void Field::set_text(std::string_view value) {
  const ColumnDef& column = definition();
  switch (column.type) {
    case ColumnType::String: {
      std::string cut = cut_text(value, column.size);
      write(cut.empty() ? Value{} : Value{std::move(cut)});
      break;
    }
    case ColumnType::Memo:
      write(value.empty() ? Value{} : Value{std::string(value)});
      break;
    case ColumnType::Blob:
      throw TableError("Field " + column.name + " cannot be set from a text");
    case ColumnType::Boolean:
      write(trimmed(value).empty() ? Value{} : Value{int64_t{parse_boolean(value, column.name) ? 1 : 0}});
      break;
    case ColumnType::SmallInt:
    case ColumnType::Integer: {
      if (trimmed(value).empty()) {
        write(Value{});
        break;
      }
      const int64_t number = parse_integer(value, column.name);
      if (number < std::numeric_limits<int>::min() || number > std::numeric_limits<int>::max()) {
        throw conversion_error(value, column.name, "integer");
      }
      set_integer(static_cast<int>(number));
      break;
    }
  }
}

void Field::load_from_file(const std::filesystem::path& file) {
  const ColumnDef& column = definition();
  if (column.type == ColumnType::Blob) {
    table_->load_blob(*this, file);
  } else if (column.type == ColumnType::Memo) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw TableError("Cannot open file " + file.string());
    set_text(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
  } else {
    throw TableError("Field " + column.name + " is not a memo or blob field");
  }
}

void Field::save_to_file(const std::filesystem::path& file) const {
  const ColumnDef& column = definition();
  if (column.type == ColumnType::Blob) {
    table_->save_blob(column_, file);
  } else if (column.type == ColumnType::Memo) {
    const std::string text = as_text();
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) throw TableError("Cannot write file " + file.string());
  } else {
    throw TableError("Field " + column.name + " is not a memo or blob field");
  }
}

}  // namespace vemla
