#include "sdk/LBString.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <new>
#include <utility>

#include "platform/utf.h"

namespace {

constexpr char16_t kEmptyText[1] = {0};

// A source of 2^30 units or more is not a text this type carries; it counts as empty.
constexpr size_t kLengthLimitBit = 0x40000000;

size_t sourceLength(const char16_t* text) {
    if (text == nullptr)
        return 0;
    size_t n = 0;
    while (text[n] != 0) {
        ++n;
        if (n & kLengthLimitBit)
            return 0;
    }
    return n;
}

// An exact copy of `text` in a malloc'ed buffer; null for the empty text.
char16_t* allocateCopy(std::u16string_view text) {
    if (text.empty())
        return nullptr;
    auto* buffer = static_cast<char16_t*>(std::malloc((text.size() + 1) * sizeof(char16_t)));
    if (buffer == nullptr)
        throw std::bad_alloc();
    std::memcpy(buffer, text.data(), text.size() * sizeof(char16_t));
    buffer[text.size()] = 0;
    return buffer;
}

char16_t lower(char16_t ch) {
    return static_cast<char16_t>(std::towlower(static_cast<wint_t>(ch)));
}

bool isSpace(char16_t ch) {
    return std::iswspace(static_cast<wint_t>(ch)) != 0;
}

bool equalNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

std::u16string_view cut(std::u16string_view text) {
    return text.substr(0, std::min(text.size(), size_t(text.find(char16_t(0)))));
}

}  // namespace

LBString::LBString(const char16_t* text) {
    assign({text == nullptr ? kEmptyText : text, sourceLength(text)});
}

LBString::LBString(const char* utf8) {
    if (utf8 != nullptr)
        assign(platform::utf8ToUtf16(utf8));
}

LBString::LBString(char16_t ch, int count) {
    if (count > 0 && ch != 0)
        assign(std::u16string(size_t(count), ch));
}

LBString::LBString(const char16_t* text, int count) {
    size_t length = sourceLength(text);
    if (count > 0)
        assign({text == nullptr ? kEmptyText : text, std::min(length, size_t(count))});
}

LBString::LBString(const LBString& other) {
    assign(other.View());
}

LBString::LBString(LBString&& other) noexcept : m_pData(std::exchange(other.m_pData, nullptr)) {}

LBString::~LBString() {
    std::free(m_pData);
}

LBString& LBString::operator=(const LBString& other) {
    if (this != &other)
        assign(other.View());
    return *this;
}

LBString& LBString::operator=(LBString&& other) noexcept {
    if (this != &other) {
        std::free(m_pData);
        m_pData = std::exchange(other.m_pData, nullptr);
    }
    return *this;
}

LBString& LBString::operator=(const char16_t* text) {
    // Copy first: `text` may point into our own buffer.
    assign({text == nullptr ? kEmptyText : text, sourceLength(text)});
    return *this;
}

LBString& LBString::operator=(const char* utf8) {
    if (utf8 == nullptr)
        Empty();
    else
        assign(platform::utf8ToUtf16(utf8));
    return *this;
}

LBString LBString::FromUtf8(std::string_view utf8) {
    LBString s;
    s.assign(cut(platform::utf8ToUtf16(utf8)));
    return s;
}

LBString LBString::FromUtf16(std::u16string_view text) {
    LBString s;
    s.assign(cut(text));
    return s;
}

LBString LBString::Adopt(LBStringArg arg) noexcept {
    LBString s;
    s.m_pData = arg.p;
    return s;
}

void LBString::Empty() noexcept {
    std::free(m_pData);
    m_pData = nullptr;
}

const char16_t* LBString::GetString() const noexcept {
    return m_pData == nullptr ? kEmptyText : m_pData;
}

std::string LBString::ToUtf8() const {
    return platform::utf16ToUtf8(View());
}

int LBString::GetLength() const noexcept {
    return static_cast<int>(sourceLength(m_pData));
}

bool LBString::IsEmpty() const noexcept {
    return m_pData == nullptr || m_pData[0] == 0;
}

LBString& LBString::operator+=(const char16_t* text) {
    std::u16string joined(View());
    joined.append(text == nullptr ? kEmptyText : text, sourceLength(text));
    assign(joined);
    return *this;
}

LBString& LBString::operator+=(const LBString& other) {
    return *this += other.m_pData;
}

LBString operator+(const LBString& a, const LBString& b) {
    LBString result(a);
    result += b;
    return result;
}

bool operator==(const LBString& a, const LBString& b) noexcept {
    return a.View() == b.View();
}

int LBString::CompareNoCase(const char16_t* other) const {
    size_t otherLength = sourceLength(other);
    bool thisEmpty = IsEmpty();
    if (thisEmpty && otherLength == 0)
        return 0;
    if (thisEmpty)
        return -1;
    if (otherLength == 0)
        return 1;
    std::u16string_view a = View();
    std::u16string_view b(other, otherLength);
    for (size_t i = 0;; ++i) {
        char16_t ca = i < a.size() ? lower(a[i]) : 0;
        char16_t cb = i < b.size() ? lower(b[i]) : 0;
        if (ca != cb)
            return ca < cb ? -1 : 1;
        if (ca == 0)
            return 0;
    }
}

int LBString::Find(const char16_t* text, int start) const {
    int length = GetLength();
    if (length == 0 || start < 0 || start > length)
        return -1;
    size_t at =
        View().find(std::u16string_view(text == nullptr ? kEmptyText : text, sourceLength(text)),
                    size_t(start));
    return at == std::u16string_view::npos ? -1 : int(at);
}

int LBString::Find(char16_t ch, int start) const {
    const char16_t text[2] = {ch, 0};
    return ch == 0 ? -1 : Find(text, start);
}

int LBString::ReverseFind(char16_t ch) const {
    size_t at = View().rfind(ch);
    return at == std::u16string_view::npos ? -1 : int(at);
}

LBString LBString::Mid(int start, int count) const {
    int length = GetLength();
    start = std::max(start, 0);
    count = std::max(count, 0);
    if (start >= length || count == 0)
        return {};
    return FromUtf16(View().substr(size_t(start), size_t(std::min(count, length - start))));
}

LBString LBString::Mid(int start) const {
    return Mid(start, GetLength());
}

LBString LBString::Left(int count) const {
    return FromUtf16(View().substr(0, size_t(std::max(count, 0))));
}

LBString LBString::Right(int count) const {
    int length = GetLength();
    count = std::clamp(count, 0, length);
    return FromUtf16(View().substr(size_t(length - count)));
}

void LBString::TrimLeft() {
    std::u16string_view text = View();
    size_t first = 0;
    while (first < text.size() && isSpace(text[first]))
        ++first;
    if (first > 0)
        assign(text.substr(first));
}

void LBString::TrimRight() {
    std::u16string_view text = View();
    size_t end = text.size();
    while (end > 0 && isSpace(text[end - 1]))
        --end;
    if (end < text.size())
        assign(text.substr(0, end));
}

void LBString::TrimRight(char16_t ch) {
    std::u16string_view text = View();
    size_t end = text.size();
    while (end > 0 && text[end - 1] == ch)
        --end;
    if (end < text.size())
        assign(text.substr(0, end));
}

bool LBString::RemovePrefix(const char16_t* text) {
    std::u16string_view prefix(text == nullptr ? kEmptyText : text, sourceLength(text));
    std::u16string_view self = View();
    if (prefix.empty() || prefix.size() > self.size() ||
        !equalNoCase(self.substr(0, prefix.size()), prefix))
        return false;
    assign(self.substr(prefix.size()));
    return true;
}

bool LBString::RemoveSuffix(const char16_t* text) {
    std::u16string_view suffix(text == nullptr ? kEmptyText : text, sourceLength(text));
    std::u16string_view self = View();
    if (suffix.empty() || suffix.size() > self.size() ||
        !equalNoCase(self.substr(self.size() - suffix.size()), suffix))
        return false;
    assign(self.substr(0, self.size() - suffix.size()));
    return true;
}

int LBString::Delete(int start, int count) {
    int length = GetLength();
    start = std::max(start, 0);
    if (count > 0 && start < length) {
        std::u16string text(View());
        text.erase(size_t(start), size_t(std::min(count, length - start)));
        assign(text);
    }
    return GetLength();
}

LBStringArg LBString::Detach() noexcept {
    return {std::exchange(m_pData, nullptr)};
}

void LBString::Attach(LBStringArg arg) noexcept {
    if (arg.p == m_pData)
        return;
    std::free(m_pData);
    m_pData = arg.p;
}

void LBString::assign(std::u16string_view text) {
    char16_t* fresh = allocateCopy(text);
    std::free(m_pData);
    m_pData = fresh;
}
