#include "platform/serial/Serial.h"

#include "PtyPrinter.h"

#include <gtest/gtest.h>

namespace tarvel::platform {
namespace {

using test::PtyPrinter;

class SerialTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::ForgetSerialSettings();
        ASSERT_TRUE(printer.Ready());
        test::MapComPort(2, printer.Path());
    }
    void TearDown() override
    {
        if (line != INVALID_HANDLE_VALUE)
            CloseHandle(line);
        test::ForgetSerialSettings();
    }
    HANDLE OpenLine()
    {
        line = OpenComPort(2);
        EXPECT_NE(line, INVALID_HANDLE_VALUE);
        return line;
    }
    PtyPrinter printer;
    HANDLE line = INVALID_HANDLE_VALUE;
};

TEST_F(SerialTest, ComNumbersMapThroughTheStoreWithTtySAsTheDefault)
{
    EXPECT_EQ(ComDevicePath(2), printer.Path());
    EXPECT_EQ(ComDevicePath(1), "/dev/ttyS0");
    EXPECT_EQ(ComDevicePath(8), "/dev/ttyS7");
    EXPECT_EQ(ComDevicePath(0), "");
    EXPECT_EQ(ComDevicePath(-1), "");
    EXPECT_EQ(ComDevicePath(256), "");
    EXPECT_EQ(OpenComPort(-1), INVALID_HANDLE_VALUE);
    test::MapComPort(3, "/nonexistent/tty");
    EXPECT_EQ(OpenComPort(3), INVALID_HANDLE_VALUE);
}

// A pseudo-terminal always carries eight bits without parity whatever it is
// told, so byte size and parity are checked on the record only as far as
// the terminal keeps them; speed, stop bits and flow control it keeps.
TEST_F(SerialTest, SetCommStateAppliesSpeedStopBitsAndFlowControlToTheTerminalAndGetCommStateReadsThemBack)
{
    OpenLine();
    constexpr DWORD kAllFlow = DCB_fBinary | DCB_fOutxCtsFlow | DCB_fOutX | DCB_fInX;
    const struct {
        DWORD baud;
        speed_t speed;
        DWORD flags;
        BYTE stopBits;
    } cases[] = {{57600, B57600, kAllFlow, TWOSTOPBITS}, {9600, B9600, DCB_fBinary, ONESTOPBIT}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.baud);
        DCB state{};
        state.DCBlength = sizeof state;
        ASSERT_TRUE(GetCommState(line, &state));
        state.BaudRate = c.baud;
        state.flags = c.flags;
        state.ByteSize = 8;
        state.Parity = NOPARITY;
        state.StopBits = c.stopBits;
        ASSERT_TRUE(SetCommState(line, &state));
        termios tio = printer.Settings();
        EXPECT_EQ(cfgetospeed(&tio), c.speed);
        EXPECT_EQ(cfgetispeed(&tio), c.speed);
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_FALSE(tio.c_cflag & PARENB);
        EXPECT_EQ(bool(tio.c_cflag & CSTOPB), c.stopBits == TWOSTOPBITS);
        EXPECT_EQ(bool(tio.c_cflag & CRTSCTS), bool(c.flags & DCB_fOutxCtsFlow));
        EXPECT_TRUE(tio.c_cflag & CLOCAL);
        EXPECT_EQ(bool(tio.c_iflag & IXON), bool(c.flags & DCB_fOutX));
        EXPECT_EQ(bool(tio.c_iflag & IXOFF), bool(c.flags & DCB_fInX));
        EXPECT_FALSE(tio.c_oflag & OPOST);
        EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));

        DCB back{};
        back.DCBlength = sizeof back;
        ASSERT_TRUE(GetCommState(line, &back));
        EXPECT_EQ(back.BaudRate, c.baud);
        EXPECT_EQ(back.ByteSize, 8);
        EXPECT_EQ(back.StopBits, c.stopBits);
        EXPECT_EQ(back.flags & kAllFlow, c.flags);
    }
}

TEST_F(SerialTest, SettingsTheLineCannotTakeAreRefusedAndChangeNothing)
{
    OpenLine();
    DCB state{};
    state.DCBlength = sizeof state;
    ASSERT_TRUE(GetCommState(line, &state));
    termios before = printer.Settings();
    auto refused = [&](auto change) {
        DCB bad = state;
        change(bad);
        return !SetCommState(line, &bad);
    };
    EXPECT_TRUE(refused([](DCB& d) { d.BaudRate = 12345; }));
    EXPECT_TRUE(refused([](DCB& d) { d.ByteSize = 9; }));
    EXPECT_TRUE(refused([](DCB& d) { d.Parity = 3; }));
    EXPECT_TRUE(refused([](DCB& d) { d.StopBits = ONE5STOPBITS; }));
    EXPECT_TRUE(refused([](DCB& d) { d.DCBlength = 12; }));
    EXPECT_FALSE(GetCommState(line, nullptr));
    EXPECT_EQ(printer.Settings().c_cflag, before.c_cflag);
    EXPECT_EQ(printer.Settings().c_iflag, before.c_iflag);
}

TEST_F(SerialTest, StaleAndForeignHandlesFailEverywhere)
{
    OpenLine();
    HANDLE stale = line;
    ASSERT_TRUE(CloseHandle(stale));
    line = INVALID_HANDLE_VALUE;
    DCB state{};
    state.DCBlength = sizeof state;
    COMMTIMEOUTS timeouts{};
    DWORD written = 77;
    std::uint8_t byte = 0;
    for (HANDLE bad : {stale, INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr), static_cast<HANDLE>(&state)}) {
        EXPECT_FALSE(GetCommState(bad, &state));
        EXPECT_FALSE(SetCommState(bad, &state));
        EXPECT_FALSE(GetCommTimeouts(bad, &timeouts));
        EXPECT_FALSE(SetCommTimeouts(bad, &timeouts));
        EXPECT_FALSE(EscapeCommFunction(bad, SETDTR));
        EXPECT_FALSE(WriteFile(bad, &byte, 1, &written, nullptr));
        EXPECT_EQ(written, 0u);
        EXPECT_FALSE(PurgeComm(bad, PURGE_TXABORT));
        EXPECT_FALSE(CloseHandle(bad));
    }
}

TEST_F(SerialTest, ModemLineRequestsAreRememberedPerLine)
{
    OpenLine();
    EXPECT_EQ(ModemLinesRequested(printer.Path()), 0u);
    EscapeCommFunction(line, SETDTR);
    EscapeCommFunction(line, SETRTS);
    EXPECT_EQ(ModemLinesRequested(printer.Path()), kModemDtr | kModemRts);
    EscapeCommFunction(line, CLRDTR);
    EXPECT_EQ(ModemLinesRequested(printer.Path()), kModemRts);
    EXPECT_FALSE(EscapeCommFunction(line, 99));
}

}  // namespace
}  // namespace tarvel::platform
