#include "rtf.h"

#include "text/hex.h"
#include "text/utf8.h"

#include <cstdint>
#include <vector>

namespace archive {

namespace {

// Groups whose content is not part of the text.
bool hiddenDestination(std::string_view word) {
    for (const std::string_view hidden :
         {"fonttbl", "colortbl", "stylesheet", "info", "pict", "object", "header", "footer",
          "listtable", "listoverridetable", "rsidtbl", "generator"}) {
        if (word == hidden) {
            return true;
        }
    }
    return false;
}

class RtfReader {
public:
    RtfReader(std::string_view rtf, const text::CodepageDecoder& decoder)
        : rtf_(rtf), decoder_(decoder) {}

    std::string run() {
        while (pos_ < rtf_.size()) {
            const char c = rtf_[pos_++];
            if (c == '{') {
                groups_.push_back(hidden());
            } else if (c == '}') {
                if (!groups_.empty()) {
                    groups_.pop_back();
                }
            } else if (c == '\\') {
                control();
            } else if (c != '\r' && c != '\n') {
                text(c);
            }
        }
        loneSurrogate();
        flush();
        while (out_.size() >= 2 && out_.compare(out_.size() - 2, 2, "\r\n") == 0) {
            out_.resize(out_.size() - 2);
        }
        return out_;
    }

private:
    bool hidden() const { return !groups_.empty() && groups_.back(); }

    void text(char c) {
        if (skip_ > 0) {
            --skip_;
        } else if (!hidden()) {
            loneSurrogate();
            pending_ += c;
        }
    }

    // A high surrogate not followed by its low half.
    void loneSurrogate() {
        if (high_ != 0) {
            high_ = 0;
            flush();
            out_ += "\xEF\xBF\xBD";
        }
    }

    void emit(std::string_view utf8) {
        if (!hidden()) {
            flush();
            out_ += utf8;
        }
    }

    void flush() {
        out_ += decoder_.decode(pending_);
        pending_.clear();
    }

    void control() {
        if (pos_ >= rtf_.size()) {
            return;
        }
        const char c = rtf_[pos_];
        if (c == '\\' || c == '{' || c == '}') {
            ++pos_;
            text(c);
        } else if (c == '\'') {
            // \'hh: a byte in the code page; a cut or broken pair is dropped.
            ++pos_;
            int value = 0;
            int digits = 0;
            while (digits < 2 && pos_ < rtf_.size() && text::hexDigit(rtf_[pos_]) >= 0) {
                value = value * 16 + text::hexDigit(rtf_[pos_++]);
                ++digits;
            }
            if (digits == 2) {
                text(static_cast<char>(value));
            }
        } else if (c == '*') {
            ++pos_;
            if (!groups_.empty()) {
                groups_.back() = true;
            }
        } else if (c == '~') {
            ++pos_;
            emit("\xC2\xA0");
        } else if (c == '\r' || c == '\n') {
            ++pos_;
            emit("\r\n");
        } else if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
            word();
        } else {
            ++pos_;
        }
    }

    // A UTF-16 unit of \u: surrogate halves are paired, a lone one becomes U+FFFD.
    void character(uint32_t unit) {
        std::string utf8;
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            high_ = unit;
            return;
        }
        if (unit >= 0xDC00 && unit <= 0xDFFF) {
            const uint32_t high = high_;
            high_ = 0;
            text::appendUtf8(utf8, high != 0 ? 0x10000 + ((high - 0xD800) << 10) + (unit - 0xDC00)
                                             : 0xFFFD);
        } else {
            text::appendUtf8(utf8, high_ != 0 ? 0xFFFD : unit);
            high_ = 0;
        }
        emit(utf8);
    }

    void word() {
        const size_t start = pos_;
        while (pos_ < rtf_.size() && ((rtf_[pos_] >= 'a' && rtf_[pos_] <= 'z') ||
                                      (rtf_[pos_] >= 'A' && rtf_[pos_] <= 'Z'))) {
            ++pos_;
        }
        const std::string_view name = rtf_.substr(start, pos_ - start);
        long value = 0;
        bool hasValue = false;
        const bool negative = pos_ < rtf_.size() && rtf_[pos_] == '-';
        pos_ += negative ? 1 : 0;
        while (pos_ < rtf_.size() && rtf_[pos_] >= '0' && rtf_[pos_] <= '9') {
            value = value < 1000000 ? value * 10 + (rtf_[pos_] - '0') : value;
            hasValue = true;
            ++pos_;
        }
        value = negative ? -value : value;
        if (pos_ < rtf_.size() && rtf_[pos_] == ' ') {
            ++pos_;
        }
        if (name == "par" || name == "line") {
            emit("\r\n");
        } else if (name == "tab") {
            emit("\t");
        } else if (name == "uc" && hasValue) {
            fallback_ = value < 0 ? 0 : static_cast<int>(value);
        } else if (name == "u" && hasValue) {
            character(static_cast<uint32_t>(value < 0 ? value + 65536 : value) & 0xFFFF);
            skip_ = hidden() ? 0 : fallback_;
        } else if (hiddenDestination(name) && !groups_.empty()) {
            groups_.back() = true;
        }
    }

    std::string_view rtf_;
    const text::CodepageDecoder& decoder_;
    size_t pos_ = 0;
    /// Per open group: whether its content is hidden.
    std::vector<bool> groups_;
    std::string pending_;
    std::string out_;
    int fallback_ = 1;
    int skip_ = 0;
    uint32_t high_ = 0;
};

} // namespace

std::string rtfToText(std::string_view rtf, const text::CodepageDecoder& decoder) {
    return RtfReader(rtf, decoder).run();
}

} // namespace archive
