#include "platform/win32/DatePicture.h"

#include <cctype>

namespace platform::win32 {

namespace {

class Reader {
 public:
  Reader(const std::string& text, const Designators& designators)
      : text_(text), designators_(designators) {}

  bool atEnd() const { return position_ == text_.size(); }
  std::size_t position() const { return position_; }
  void rewind(std::size_t position) { position_ = position; }

  // At most `maxDigits` digits, at least one.
  bool number(int maxDigits, int& value) {
    int digits = 0;
    value = 0;
    while (digits < maxDigits && position_ < text_.size() &&
           std::isdigit(static_cast<unsigned char>(text_[position_]))) {
      value = value * 10 + (text_[position_++] - '0');
      ++digits;
    }
    return digits > 0;
  }

  bool literal(char c) {
    if (position_ < text_.size() && text_[position_] == c) {
      ++position_;
      return true;
    }
    return false;
  }

  // The afternoon designator, or the morning one: true for the afternoon.
  bool designator(bool firstLetterOnly, bool& afternoon) {
    for (const auto& [word, pm] : {std::pair{designators_.pm, true}, std::pair{designators_.am, false}}) {
      const std::string expected = firstLetterOnly ? word.substr(0, 1) : word;
      if (!expected.empty() && text_.compare(position_, expected.size(), expected) == 0) {
        position_ += expected.size();
        afternoon = pm;
        return true;
      }
    }
    return false;
  }

 private:
  const std::string& text_;
  const Designators& designators_;
  std::size_t position_ = 0;
};

struct Fields {
  LocalTime time;
  int hour12 = -1;
  bool afternoon = false;
  bool designatorSeen = false;
};

bool Follow(Reader& reader, const std::string& picture, Fields& fields) {
  for (std::size_t i = 0; i < picture.size();) {
    const char letter = picture[i];
    if (letter == '\'') {
      const std::size_t end = picture.find('\'', i + 1);
      const std::size_t stop = end == std::string::npos ? picture.size() : end;
      for (std::size_t j = i + 1; j < stop; ++j)
        if (!reader.literal(picture[j])) return false;
      i = stop + 1;
      continue;
    }
    std::size_t run = 1;
    while (i + run < picture.size() && picture[i + run] == letter) ++run;
    LocalTime& t = fields.time;
    bool read = true;
    switch (letter) {
      case 'd':
        read = run <= 2 && reader.number(2, t.day);
        break;
      case 'M':
        read = run <= 2 && reader.number(2, t.month);
        break;
      case 'y':
        if (run <= 2) {
          // Two-digit years fall in 1950..2049, as the regional settings read them.
          read = reader.number(2, t.year);
          t.year += t.year < 50 ? 2000 : 1900;
        } else {
          read = reader.number(5, t.year);
        }
        break;
      case 'h':
        read = reader.number(2, fields.hour12);
        break;
      case 'H':
        read = reader.number(2, t.hour);
        break;
      case 'm':
        read = reader.number(2, t.minute);
        break;
      case 's':
        read = reader.number(2, t.second);
        break;
      case 't':
        // Locales without designators write nothing here.
        if (reader.designator(run == 1, fields.afternoon)) fields.designatorSeen = true;
        break;
      case 'g':
        read = false;
        break;
      default:
        for (std::size_t j = 0; j < run; ++j) read = read && reader.literal(letter);
        break;
    }
    if (!read) return false;
    i += run;
  }
  return true;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool Valid(const LocalTime& t) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (t.year < 1601 || t.year > 30827 || t.month < 1 || t.month > 12 || t.day < 1) return false;
  const int days = kDays[t.month - 1] + (t.month == 2 && IsLeap(t.year) ? 1 : 0);
  return t.day <= days && t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 &&
         t.second >= 0 && t.second < 60;
}

}  // namespace

std::optional<LocalTime> ParseWithPictures(const std::string& text, const std::string& datePicture,
                                           const std::string& timePicture,
                                           const Designators& designators) {
  Reader reader(text, designators);
  Fields fields;
  if (!Follow(reader, datePicture, fields)) return std::nullopt;
  if (!reader.atEnd() && !timePicture.empty()) {
    if (!reader.literal(' ') || !Follow(reader, timePicture, fields)) return std::nullopt;
    if (fields.hour12 >= 0) {
      if (fields.hour12 < 1 || fields.hour12 > 12) return std::nullopt;
      fields.time.hour = fields.hour12 % 12 + (fields.afternoon ? 12 : 0);
    }
  }
  if (!reader.atEnd() || !Valid(fields.time)) return std::nullopt;
  return fields.time;
}

}  // namespace platform::win32
