#include "platform/serial/Serial.h"

#include "PtyPrinter.h"

#include <tuple>

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
    // Opens the line and gives its state.
    DCB OpenLine()
    {
        line = OpenComPort(2);
        EXPECT_NE(line, INVALID_HANDLE_VALUE);
        return State();
    }
    DCB State()
    {
        DCB state{};
        state.DCBlength = sizeof state;
        EXPECT_TRUE(GetCommState(line, &state));
        return state;
    }
    PtyPrinter printer;
    HANDLE line = INVALID_HANDLE_VALUE;
};

// A COM number mapped in the store is the serial port's test; here the
// default, the numbers refused and a mapped device that is missing.
TEST_F(SerialTest, UnmappedComNumbersAreTtySAndOthersAreRefused)
{
    EXPECT_EQ(ComDevicePath(8), "/dev/ttyS7");
    for (int bad : {0, -1, 256}) EXPECT_EQ(ComDevicePath(bad), "");
    EXPECT_EQ(OpenComPort(-1), INVALID_HANDLE_VALUE);
    test::MapComPort(3, "/nonexistent/tty");
    EXPECT_EQ(OpenComPort(3), INVALID_HANDLE_VALUE);
}

// A pseudo-terminal always carries eight bits without parity whatever it is
// told; speed, stop bits and flow control it keeps. The serial port's
// tests hold the 57600 8N1 line without flow control the port asks for;
// here every other setting is turned on.
TEST_F(SerialTest, SetCommStateAppliesSpeedStopBitsAndFlowControlToTheTerminalAndGetCommStateReadsThemBack)
{
    constexpr DWORD kAllFlow = DCB_fBinary | DCB_fOutxCtsFlow | DCB_fOutX | DCB_fInX;
    DCB state = OpenLine();
    state.BaudRate = 9600;
    state.flags = kAllFlow;
    state.ByteSize = 8;
    state.Parity = NOPARITY;
    state.StopBits = TWOSTOPBITS;
    ASSERT_TRUE(SetCommState(line, &state));
    termios tio = printer.Settings();
    EXPECT_EQ(cfgetospeed(&tio), speed_t(B9600));
    EXPECT_TRUE((tio.c_cflag & CSTOPB) && (tio.c_cflag & CRTSCTS) && (tio.c_iflag & IXON) && (tio.c_iflag & IXOFF));
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO | ISIG));
    DCB back = State();
    EXPECT_EQ(std::make_tuple(back.BaudRate, back.StopBits, back.flags & kAllFlow), std::make_tuple(DWORD(9600), BYTE(TWOSTOPBITS), kAllFlow));
}

TEST_F(SerialTest, SettingsTheLineCannotTakeAreRefusedAndChangeNothing)
{
    const DCB state = OpenLine();
    termios before = printer.Settings();
    DCB bad[5] = {state, state, state, state, state};
    bad[0].BaudRate = 12345, bad[1].ByteSize = 9, bad[2].Parity = 3, bad[3].StopBits = ONE5STOPBITS, bad[4].DCBlength = 12;
    for (DCB& d : bad) EXPECT_FALSE(SetCommState(line, &d)) << &d - bad;
    EXPECT_FALSE(GetCommState(line, nullptr));
    EXPECT_EQ(printer.Settings().c_cflag, before.c_cflag);
}

TEST_F(SerialTest, StaleAndForeignHandlesFailEverywhere)
{
    DCB state = OpenLine();
    HANDLE stale = line;
    ASSERT_TRUE(CloseHandle(stale));
    line = INVALID_HANDLE_VALUE;
    COMMTIMEOUTS timeouts{};
    DWORD written = 77;
    std::uint8_t byte = 0;
    for (HANDLE bad : {stale, INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr), static_cast<HANDLE>(&state)}) {
        EXPECT_EQ((std::vector<long long>{GetCommState(bad, &state), SetCommState(bad, &state), GetCommTimeouts(bad, &timeouts), SetCommTimeouts(bad, &timeouts), EscapeCommFunction(bad, SETDTR), WriteFile(bad, &byte, 1, &written, nullptr), PurgeComm(bad, PURGE_TXABORT), CloseHandle(bad)}), std::vector<long long>(8, 0));
        EXPECT_EQ(written, 0u);
    }
}

TEST_F(SerialTest, ModemLineRequestsAreRememberedPerLine)
{
    OpenLine();
    EXPECT_EQ(ModemLinesRequested(printer.Path()), 0u);
    for (DWORD request : {SETDTR, SETRTS, CLRDTR}) EscapeCommFunction(line, request);
    EXPECT_EQ(ModemLinesRequested(printer.Path()), kModemRts);
    EXPECT_FALSE(EscapeCommFunction(line, 99));
}

}  // namespace
}  // namespace tarvel::platform
