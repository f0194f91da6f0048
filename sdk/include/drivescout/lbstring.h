#pragma once

// LBString: the wide-text value type of the SDK, its C exports and the wizard's logic.
//
// One owned pointer to a malloc'ed, zero-terminated UTF-16 buffer; a null pointer is the empty
// string. Buffers are sized exactly for their text (n + 1 units), copies are deep, and every
// change allocates a new buffer. Reading the text never yields null. Narrow text is UTF-8.
//
// At the C export boundary a text travels as `LBStringArg`, a trivially copyable one-pointer
// struct owning a malloc'ed buffer. `LBString::Adopt` takes such a buffer over and
// `LBString::Detach` hands one out, so the buffer moves between the two without a copy; both sides
// use malloc/free, the one allocator of the process.
//
// An LBString is not thread-safe: one thread at a time may use an object (distinct objects are
// independent).

#include <cstdarg>
#include <string>
#include <string_view>

// One-pointer text as it crosses the exported C interface: a zero-terminated UTF-16 buffer from
// malloc, or null for the empty text. Whoever holds it owns the buffer.
struct LBStringArg {
    char16_t* p;
};

class LBString {
  public:
    LBString() noexcept = default;
    LBString(const char16_t* text);  // NOLINT(google-explicit-constructor): value type
    LBString(const char* utf8);      // NOLINT(google-explicit-constructor): value type
    LBString(char16_t ch, int count);
    LBString(const char16_t* text, int count);
    LBString(const LBString& other);
    LBString(LBString&& other) noexcept;
    ~LBString();

    LBString& operator=(const LBString& other);
    LBString& operator=(LBString&& other) noexcept;
    LBString& operator=(const char16_t* text);
    LBString& operator=(const char* utf8);

    // Builders from views (a view may hold zero units; the text ends at the first one).
    static LBString FromUtf8(std::string_view utf8);
    static LBString FromUtf16(std::u16string_view text);
    // Takes over the buffer of `arg` (which must come from malloc); `arg` is left as it was, so
    // the caller must not free it again.
    static LBString Adopt(LBStringArg arg) noexcept;

    void Empty() noexcept;

    // The text, or a static empty text; never null. Valid until this object changes or dies.
    const char16_t* GetString() const noexcept;
    const char16_t* c_str() const noexcept { return GetString(); }
    std::u16string_view View() const noexcept { return {GetString(), size_t(GetLength())}; }
    std::string ToUtf8() const;

    int GetLength() const noexcept;
    bool IsEmpty() const noexcept;

    LBString& operator+=(const char16_t* text);
    LBString& operator+=(const LBString& other);
    friend LBString operator+(const LBString& a, const LBString& b);

    // Exact, unit-by-unit equality.
    friend bool operator==(const LBString& a, const LBString& b) noexcept;

    // 0 when both are empty; -1 when only this one is empty; 1 when only `other` is; otherwise
    // -1, 0 or 1 from a comparison of the lower-cased units.
    int CompareNoCase(const char16_t* other) const;
    int CompareNoCase(const LBString& other) const { return CompareNoCase(other.m_pData); }

    // Index of the first occurrence of `text` at or after `start`, or -1 (also when this string
    // is empty or `start` lies beyond the length).
    int Find(const char16_t* text, int start = 0) const;
    int Find(char16_t ch, int start = 0) const;
    // Index of the last occurrence of `ch`, or -1.
    int ReverseFind(char16_t ch) const;

    LBString Mid(int start, int count) const;
    LBString Mid(int start) const;
    LBString Left(int count) const;
    LBString Right(int count) const;

    void TrimLeft();
    void TrimRight();
    void TrimRight(char16_t ch);

    // Removes `text` once from the start (end) when this string begins (ends) with it, compared
    // without regard to case. Returns whether something was removed.
    bool RemovePrefix(const char16_t* text);
    bool RemoveSuffix(const char16_t* text);

    // Removes up to `count` units from `start` (below 0 counts as 0); returns the new length.
    int Delete(int start, int count = 1);

    // printf-style formatting into this string. "%s" takes wide text (const char16_t*; null
    // prints "(null)"), "%hs" narrow UTF-8 text, "%c" a wide character; also %d %i %u %x %X %o
    // %p %e %f %g and %% with flags, widths, precisions ('*' too) and the length modifiers
    // h hh l ll z j t. An unknown conversion is copied as it stands.
    void Format(const char16_t* format, ...);
    void FormatV(const char16_t* format, va_list args);

    // Hands out the buffer (null when empty) and leaves this string empty.
    LBStringArg Detach() noexcept;
    // Releases the current text and takes over `arg`'s malloc'ed buffer.
    void Attach(LBStringArg arg) noexcept;

  private:
    // Replaces the buffer with a fresh exact copy of `text` (empty text gives null).
    void assign(std::u16string_view text);

    char16_t* m_pData = nullptr;
};

// Same size as its one pointer, so a buffer can travel as LBStringArg.
static_assert(sizeof(LBString) == sizeof(LBStringArg));
