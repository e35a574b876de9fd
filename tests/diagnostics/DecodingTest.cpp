#include "core/Failure.h"
#include "diagnostics/DisplayFormat.h"
#include "diagnostics/Indicators.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace tellvane;

namespace {

DiagnosticBuffer frame(std::initializer_list<std::uint8_t> bytes)
{
    DiagnosticBuffer b{};
    std::size_t i = 0;
    for (std::uint8_t v : bytes)
        b[i++] = v;
    return b;
}

TEST(Decoding, KeysOfOneAndTwoBytes)
{
    EXPECT_TRUE(decode::listens(18, frame({18, 99})));
    EXPECT_TRUE(decode::listens(18, frame({18, 0})));
    EXPECT_FALSE(decode::listens(18, frame({19})));
    EXPECT_TRUE(decode::listens(4660, frame({0x12, 0x34})));
    EXPECT_FALSE(decode::listens(4660, frame({0x12, 0x35})));
    EXPECT_TRUE(decode::listens(255, frame({255})));
    EXPECT_TRUE(decode::listens(256, frame({1, 0})));
    EXPECT_FALSE(decode::listens(65536, frame({255, 255})));
    EXPECT_FALSE(decode::listens(-1, frame({255})));
}

TEST(Decoding, BytesWordsAndLongs)
{
    struct Case {
        SizeCode size;
        std::uint8_t byteNum;
        DiagnosticBuffer buf;
        double raw;
    };
    const Case cases[] = {
        {SizeCode::B, 1, frame({0, 0xFF}), 255},
        {SizeCode::SB, 1, frame({0, 0x80}), -128},
        {SizeCode::SB, 1, frame({0, 0x7F}), 127},
        {SizeCode::W, 1, frame({0, 0x12, 0x34}), 0x1234},
        {SizeCode::SW, 1, frame({0, 0x7F, 0xFF}), 32767},
        {SizeCode::SW, 1, frame({0, 0x80, 0x00}), -32768},
        {SizeCode::L, 1, frame({0, 0xFF, 0xFF, 0xFF, 0xFF}), 4294967295.0},
        {SizeCode::SL, 1, frame({0, 0xFF, 0xFF, 0xFF, 0xFF}), -1},
        {SizeCode::SL, 1, frame({0, 0x80, 0, 0, 0}), -2147483648.0},
        {SizeCode::W, 6, frame({0, 0, 0, 0, 0, 0, 0xAB, 0xCD}), 0xABCD},
        {SizeCode::L, 4, frame({0, 0, 0, 0, 1, 2, 3, 4}), 0x01020304},
    };
    for (const Case& c : cases)
        EXPECT_EQ(decode::bwlRaw(c.size, c.byteNum, c.buf), c.raw) << int(c.size) << "@" << int(c.byteNum);
}

TEST(Decoding, BitFields)
{
    struct Case {
        std::uint8_t startByte, startBit, numBits;
        bool isSigned;
        DiagnosticBuffer buf;
        double raw;
    };
    const Case cases[] = {
        // Bits 3-0 of byte 2 above bits 7-6 of byte 3.
        {2, 3, 6, false, frame({0, 0, 0x0A, 0xC0}), 0b101011},
        {1, 7, 4, false, frame({0, 0x80}), 8},
        {1, 7, 4, true, frame({0, 0x80}), -8},
        {1, 3, 4, true, frame({0, 0x07}), 7},
        {1, 0, 1, false, frame({0, 1}), 1},
        {1, 0, 1, true, frame({0, 1}), -1},
        {0, 7, 32, false, frame({0xFF, 0xFF, 0xFF, 0xFF}), 4294967295.0},
        {0, 7, 32, true, frame({0xFF, 0xFF, 0xFF, 0xFF}), -1},
        {6, 7, 12, false, frame({0, 0, 0, 0, 0, 0, 0xAB, 0xC0}), 0xABC},
        {7, 0, 9, false, frame({0, 0, 0, 0, 0, 0, 0, 1, 0xFF}), 0x1FF},  // runs into the ninth byte
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decode::bitFieldRaw(c.startByte, c.startBit, c.numBits, c.isSigned, c.buf), c.raw)
            << int(c.startByte) << "/" << int(c.startBit) << "/" << int(c.numBits);
    }
    EXPECT_THROW(decode::bitFieldRaw(7, 0, 10, false, frame({})), Failure) << "past the ninth byte";
    EXPECT_THROW(decode::bitFieldRaw(7, 7, 17, false, frame({})), Failure);
    EXPECT_NO_THROW(decode::bitFieldRaw(7, 7, 16, false, frame({})));
}

QString shown(double raw, float m, float b, bool hex, const char* pattern, bool* tooLarge = nullptr)
{
    bool large = false;
    const auto p = display::DisplayPattern::compile(QString::fromLatin1(pattern));
    const QString text = decode::valueText(raw, m, b, hex, p.value(), large);
    if (tooLarge)
        *tooLarge = large;
    return text;
}

TEST(Decoding, ScalingAndDisplay)
{
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    EXPECT_EQ(shown(100, 0.5f, -40.0f, false, ""), QStringLiteral("10"));
    EXPECT_EQ(shown(100, 0.5f, -40.0f, false, "0.00"), QStringLiteral("10.00"));
    EXPECT_EQ(shown(100, 0.1f, 0.0f, false, ""), QStringLiteral("10.0000001490116")) << "M is held as a 32-bit float";
    EXPECT_EQ(shown(100, 0.1f, 0.0f, false, "0.00"), QStringLiteral("10.00"));
    EXPECT_EQ(shown(255, 1.0f, 0.0f, true, "0"), QStringLiteral("FF"));
    EXPECT_EQ(shown(5, 0.5f, 0.0f, true, "0"), QStringLiteral("2")) << "2.5 rounds to even";
    EXPECT_EQ(shown(7, 0.5f, 0.0f, true, "0"), QStringLiteral("4")) << "3.5 rounds to even";
    EXPECT_EQ(shown(-1, 1.0f, 0.0f, true, "0"), QStringLiteral("FFFF"));
    EXPECT_EQ(shown(-40000, 1.0f, 0.0f, true, "0"), QStringLiteral("FFFF63C0"));
    bool large = false;
    EXPECT_EQ(shown(4294967295.0, 1.0f, 0.0f, true, "0", &large), QStringLiteral("0"));
    EXPECT_TRUE(large);
    EXPECT_EQ(shown(2147483647.0, 1.0f, 0.0f, true, "0", &large), QStringLiteral("7FFFFFFF"));
    EXPECT_FALSE(large);
    EXPECT_THROW(display::hexText(-3e9), Failure);
    QLocale::setDefault(saved);
}

TEST(DisplayPattern, ConventionalPictures)
{
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    struct Case {
        double value;
        const char* pattern;
        const char* text;
    };
    const Case cases[] = {
        {123.456, "0.00", "123.46"},
        {123.456, "0", "123"},
        {7, "000", "007"},
        {7, "#0", "7"},
        {0.456, "#.##", ".46"},
        {0.456, "0.##", "0.46"},
        {1.5, "#.##", "1.5"},
        {1, "#.##", "1."},
        {12345, "#,##0", "12,345"},
        {1234567.891, "#,##0.00", "1,234,567.89"},
        {0.25, "0%", "25%"},
        {123.456, "0.00E+00", "1.23E+02"},
        {0.000123, "0.0E-0", "1.2E-4"},
        {-5, "0.0", "-5.0"},
        {-5, "0.0;(0.0)", "(5.0)"},
        {0, "0.0;(0.0);\"zero\"", "zero"},
        {-0.001, "0.00", "0.00"},
        {12.5, "0\" rpm\"", "13 rpm"},
        {12.4, "\"Mode \"0", "Mode 12"},
        {3.14159, "0.00\\%", "3.14%"},
        {42, "00-00", "00-42"},
        {1234, "00-00", "12-34"},
        {123.456, "Volts", "Volts"},  // no digit places: no digits
        {1e15, "0", "1000000000000000"},
    };
    for (const Case& c : cases) {
        const auto text = display::formatPattern(c.value, QString::fromLatin1(c.pattern));
        ASSERT_TRUE(text.has_value()) << c.pattern;
        EXPECT_EQ(*text, QString::fromUtf8(c.text)) << c.value << " with " << c.pattern;
    }
    for (const char* bad : {"0.0.0", "\"open", "0\\", "0.00E+", "0;0;0;0;0"})
        EXPECT_FALSE(display::formatPattern(123.456, QString::fromLatin1(bad)).has_value()) << bad;
    EXPECT_EQ(display::formatPattern(123.456, QString()), QStringLiteral("123.456")) << "empty: the plain form";

    QLocale::setDefault(QLocale(QLocale::German));
    EXPECT_EQ(display::formatPattern(1234.5, QStringLiteral("#,##0.00")), QStringLiteral("1.234,50"));
    EXPECT_EQ(display::plainDecimal(2.5), QStringLiteral("2,5"));
    QLocale::setDefault(saved);
}

TEST(DisplayPattern, PlainDecimal)
{
    const QLocale saved;
    QLocale::setDefault(QLocale::c());
    const std::pair<double, const char*> cases[] = {
        {10, "10"}, {-40, "-40"}, {0, "0"}, {-0.0, "0"}, {0.5, "0.5"}, {1e16, "1E+16"}, {1.5e-5, "1.5E-05"},
        {123456789012345.0, "123456789012345"}, {1.0 / 3.0, "0.333333333333333"},
    };
    for (auto [v, text] : cases)
        EXPECT_EQ(display::plainDecimal(v), QString::fromLatin1(text)) << v;
    QLocale::setDefault(saved);
}

}  // namespace
