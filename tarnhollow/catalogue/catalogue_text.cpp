// Text cutting by position for catalogue entries and their list items.
#include "tarnhollow/catalogue/catalogue_text.h"

#include <algorithm>
#include <limits>

namespace tarnhollow::catalogue_text {

namespace {

Pos Size(std::string_view text) {
    return static_cast<Pos>(text.size());
}

} // namespace

Pos Find(std::string_view text, std::string_view what, Pos from) {
    from = std::max<Pos>(from, 0);
    if (from > Size(text)) {
        return -1;
    }
    size_t at = text.find(what, static_cast<size_t>(from));
    return at == std::string_view::npos ? -1 : static_cast<Pos>(at);
}

Pos FindLast(std::string_view text, char ch) {
    size_t at = text.rfind(ch);
    return at == std::string_view::npos ? -1 : static_cast<Pos>(at);
}

std::string_view Mid(std::string_view text, Pos first) {
    first = std::max<Pos>(first, 0);
    if (first >= Size(text)) {
        return {};
    }
    return text.substr(static_cast<size_t>(first));
}

std::string_view Mid(std::string_view text, Pos first, Pos count) {
    if (count <= 0) {
        return {};
    }
    return Mid(text, first).substr(0, static_cast<size_t>(count));
}

bool IsWhiteSpace(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\v' || ch == '\f' || ch == '\r';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsWhiteSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsWhiteSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string DeleteAll(std::string_view text, std::string_view what) {
    std::string kept;
    kept.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        if (text.compare(i, what.size(), what) == 0) {
            i += what.size();
        } else {
            kept += text[i++];
        }
    }
    return kept;
}

int32_t Saturate(int64_t value) {
    constexpr int64_t lowest = std::numeric_limits<int32_t>::min();
    constexpr int64_t highest = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(std::clamp(value, lowest, highest));
}

int32_t ToNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsWhiteSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Once past the 32-bit range the digits that follow cannot bring the value back.
    constexpr int64_t beyondRange = int64_t{1} << 32;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), beyondRange);
    }
    return Saturate(negative ? -magnitude : magnitude);
}

int32_t RomItemSize(std::string_view item) {
    std::string_view trimmed = Trim(item);
    std::string_view size = Trim(Mid(trimmed, FindLast(trimmed, '%') + 1));
    return ToNumber(size.substr(0, 11));
}

} // namespace tarnhollow::catalogue_text
