// A printer in infrared range, for tests and demonstrations: it answers
// discovery, its IAS holds the IrLPT selector, it takes connections on
// "LSAP-SEL<selector>" and receives print data, with faults on request.
// Install it with UseIrdaBackend. All members may be called from any
// thread while a port uses the simulator.
#pragma once

#include "platform/irda/Irda.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace tarvel::platform::irda {

struct SimulatedDevice {
    std::array<BYTE, 4> id{0x11, 0x22, 0x33, 0x44};
    std::string name = "Printer";
    bool hasIrLpt = true;  // whether its IAS knows class "IrLPT"
    int lsapSel = 1;       // the selector it answers for "IrDA:IrLMP:LsapSel"
};

class IrdaSimulator final : public IrdaBackend {
public:
    IrdaSimulator();

    // Devices in range, in the order discovery reports them. Empty: nobody
    // in range.
    void SetDevices(std::vector<SimulatedDevice> devices);
    // The next count socket calls fail (negative: all of them).
    void FailSockets(int count);
    // Device enumeration itself fails.
    void FailEnumeration(bool fail);
    // The first count enumerations find nobody, even with devices set.
    void HideDevicesFor(int enumerations);
    // The IAS does not answer.
    void FailIasQuery(bool fail);
    // Switching to IrLPT mode is refused.
    void RefuseIrLptMode(bool refuse);
    // The next count connects are refused (negative: all of them).
    void RefuseConnects(int count);
    // The link's largest send; 0 reports 0, negative makes the call fail.
    void SetSendPduLength(int length);
    // One send takes at most this many bytes (0: as many as offered).
    void LimitSendSize(int bytes);
    // Once this many bytes arrived, every send fails with error
    // (WSAECONNRESET: the printer was switched off). Negative: never.
    void DisconnectAfter(long long bytes, int error);
    // The next count sends fail with error and change nothing.
    void FailSends(int count, int error);
    // Also appends what arrives to this file (empty path: only memory).
    void StoreReceivedIn(const std::filesystem::path& file);

    std::vector<std::uint8_t> Received() const;
    std::vector<int> SendSizes() const;
    // The service name and device of the last accepted connection.
    std::string ConnectedService() const;
    std::array<BYTE, 4> ConnectedDevice() const;
    int SocketCalls() const;
    int EnumerationCalls() const;
    int ConnectCalls() const;
    int FailedSendCalls() const;
    int OpenSockets() const;
    bool IrLptModeSet() const;

    SOCKET Socket(int family, int type, int protocol, int& error) override;
    int CloseSocket(SOCKET socket, int& error) override;
    int Connect(SOCKET socket, const SOCKADDR_IRDA* address, int length, int& error) override;
    int Send(SOCKET socket, const char* bytes, int length, int flags, int& error) override;
    int GetSockOpt(SOCKET socket, int level, int name, char* value, int* length, int& error) override;
    int SetSockOpt(SOCKET socket, int level, int name, const char* value, int length, int& error) override;

private:
    struct SimSocket {
        SOCKET id;
        bool irLpt = false;
        bool connected = false;
    };
    SimSocket* FindSocket(SOCKET socket);
    const SimulatedDevice* FindDevice(const BYTE* id) const;

    mutable std::mutex lock_;
    std::vector<SimulatedDevice> devices_;
    int socketFailures_ = 0;
    bool enumerationFails_ = false;
    int hiddenEnumerations_ = 0;
    bool iasFails_ = false;
    bool irLptRefused_ = false;
    int connectRefusals_ = 0;
    int sendPduLength_ = 2048;
    int sendLimit_ = 0;
    long long disconnectAfter_ = -1;
    int disconnectError_ = WSAECONNRESET;
    int sendFailures_ = 0;
    int sendFailureError_ = WSAEWOULDBLOCK;
    std::filesystem::path storeFile_;

    std::vector<SimSocket> sockets_;
    SOCKET nextSocket_ = 100;
    std::vector<std::uint8_t> received_;
    std::vector<int> sendSizes_;
    std::string connectedService_;
    std::array<BYTE, 4> connectedDevice_{};
    int socketCalls_ = 0;
    int enumerationCalls_ = 0;
    int connectCalls_ = 0;
    int failedSends_ = 0;
    bool irLptModeSet_ = false;
};

}  // namespace tarvel::platform::irda
