#include "platform/serial/Serial.h"

#include "PtyPrinter.h"

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
    EXPECT_EQ(ComDevicePath(8), "/dev/ttyS7");
    for (int bad : {0, -1, 256})
        EXPECT_EQ(ComDevicePath(bad), "");
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
        EXPECT_EQ(bool(tio.c_cflag & CSTOPB), c.stopBits == TWOSTOPBITS);
        EXPECT_EQ(bool(tio.c_cflag & CRTSCTS), bool(c.flags & DCB_fOutxCtsFlow));
        EXPECT_EQ(bool(tio.c_iflag & IXON), bool(c.flags & DCB_fOutX));
        EXPECT_EQ(bool(tio.c_iflag & IXOFF), bool(c.flags & DCB_fInX));
        EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));

        DCB back{};
        back.DCBlength = sizeof back;
        ASSERT_TRUE(GetCommState(line, &back));
        EXPECT_EQ(back.BaudRate, c.baud);
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
    DCB bad[5] = {state, state, state, state, state};
    bad[0].BaudRate = 12345;
    bad[1].ByteSize = 9;
    bad[2].Parity = 3;
    bad[3].StopBits = ONE5STOPBITS;
    bad[4].DCBlength = 12;
    for (DCB& d : bad)
        EXPECT_FALSE(SetCommState(line, &d)) << &d - bad;
    EXPECT_FALSE(GetCommState(line, nullptr));
    EXPECT_EQ(printer.Settings().c_cflag, before.c_cflag);
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
    for (DWORD request : {SETDTR, SETRTS, CLRDTR})
        EscapeCommFunction(line, request);
    EXPECT_EQ(ModemLinesRequested(printer.Path()), kModemRts);
    EXPECT_FALSE(EscapeCommFunction(line, 99));
}

}  // namespace
}  // namespace tarvel::platform
