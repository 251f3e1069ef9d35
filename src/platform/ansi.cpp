#include "ansi.h"

namespace zelvar::platform {
namespace {

// Windows-1252 bytes 0x80..0x9F; 0 where the code page leaves the byte undefined.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0, 0x017D, 0,
    0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178,
};

} // namespace

int ansiCode(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF))
        return u;
    for (int i = 0; i < 32; ++i) {
        if (kHighControls[i] != 0 && kHighControls[i] == u)
            return 0x80 + i;
    }
    return '?';
}

QByteArray toAnsi(QStringView text)
{
    QByteArray out;
    out.resize(text.size());
    char* data = out.data();
    for (qsizetype i = 0; i < text.size(); ++i)
        data[i] = char(ansiCode(text[i]));
    return out;
}

} // namespace zelvar::platform
