// Serial ports on Windows: the COMn device opened exclusively, its settings
// cleared of whatever another program left in them, and echo waits that block
// in the driver on a total read time-out, so that no wait spins a core or
// sleeps in 1 ms steps.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "platform/serial_port.h"
#include "platform/serial_port_shared.h"
#include "platform/win32_text.h"

namespace platform {

struct SerialPort {
    HANDLE handle = INVALID_HANDLE_VALUE;
    // Bytes that a wait has already taken from the driver to learn that they
    // came. They count as waiting, and the next read hands them out first.
    std::vector<std::uint8_t> taken;
    // The total read time-out the driver holds now (MAXDWORD: none set yet);
    // set again only when a read needs another.
    DWORD readLimitMs = MAXDWORD;
    // What the lines were last driven to: every change of the settings
    // re-drives them from the settings' line modes, which must agree.
    bool dtrOn = false;
    bool rtsOn = false;
    bool lost = false;
};

namespace {

// The driver's queues; the largest block the 1-Wire link sends fits them.
constexpr DWORD QueueBytes = 255;

// A wait takes at most this much from the driver at once, so that one asking
// for a huge count cannot make it allocate all of it.
constexpr std::int32_t MostTakenPerWait = 4096;

thread_local PortOpenFailure lastOpenFailure = PortOpenFailure::None;

// Windows answers ERROR_ACCESS_DENIED for a COM port that another program
// holds open, so on this system it means busy, not a missing permission.
PortOpenFailure openFailureOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
            return PortOpenFailure::NotFound;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_BUSY:
            return PortOpenFailure::Busy;
        default:
            return PortOpenFailure::Other;
    }
}

// What USB serial drivers answer once their adapter is pulled out, and
// ERROR_NOT_READY, what Wine answers for a pseudo-terminal (a simulated
// adapter) whose other side has gone.
bool meansDeviceGone(DWORD error) {
    switch (error) {
        case ERROR_NOT_READY:
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_GEN_FAILURE:
        case ERROR_OPERATION_ABORTED:
        case ERROR_FILE_NOT_FOUND:
            return true;
        default:
            return false;
    }
}

void noteFailure(SerialPort* port) {
    if (meansDeviceGone(GetLastError())) port->lost = true;
}

// Writing the settings drives DTR and RTS from these modes, so they always
// name the lines' present state: a speed change never flickers the supply.
void setLineModes(DCB& dcb, const SerialPort& port) {
    dcb.fDtrControl = port.dtrOn ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
    dcb.fRtsControl = port.rtsOn ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
}

// 8N1 at 115200 baud without any flow control. Whatever another program left
// in the settings goes: a port left with fNull set drops every 0x00 it
// receives, which is the echo of every write-0 slot, and fAbortOnError would
// stop all reading at the first framing error of a noisy bus. The lines keep
// the state they have (a handshake mode counts as on) until the link drives
// them.
void configure(DCB& dcb, SerialPort& port) {
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = TRUE;
    dcb.fParity = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE;
    port.dtrOn = dcb.fDtrControl != DTR_CONTROL_DISABLE;
    port.rtsOn = dcb.fRtsControl != RTS_CONTROL_DISABLE;
    setLineModes(dcb, port);
}

// A read returns when all its bytes are there or `readMs` have passed, and a
// write gives up after its limit. Read time-outs are totals only: an interval
// time-out would end a wait at the first pause between echoes.
bool setReadLimit(SerialPort* port, DWORD readMs) {
    if (port->readLimitMs == readMs) return true;
    COMMTIMEOUTS timeouts{};
    timeouts.ReadTotalTimeoutConstant = readMs;
    timeouts.WriteTotalTimeoutMultiplier = WriteLimitPerByteMs;
    timeouts.WriteTotalTimeoutConstant = WriteLimitBaseMs;
    if (!SetCommTimeouts(port->handle, &timeouts)) return false;
    port->readLimitMs = readMs;
    return true;
}

// Reads up to n bytes within `limitMs`; the count read, -1 when the port failed.
std::int32_t readWithin(SerialPort* port, std::uint8_t* data, std::int32_t n, DWORD limitMs) {
    DWORD got = 0;
    if (!setReadLimit(port, limitMs) ||
        !ReadFile(port->handle, data, static_cast<DWORD>(n), &got, nullptr)) {
        noteFailure(port);
        return -1;
    }
    return static_cast<std::int32_t>(got);
}

SerialPort* openPort(std::string_view name) {
    const std::wstring path = L"\\\\.\\" + WideFromUtf8(UsedPortName(name));
    // No sharing: a second program (or instance) cannot open the port.
    const HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        lastOpenFailure = openFailureOf(GetLastError());
        return nullptr;
    }
    lastOpenFailure = PortOpenFailure::Other;
    auto* port = new (std::nothrow) SerialPort;
    if (port == nullptr) {
        CloseHandle(handle);
        return nullptr;
    }
    port->handle = handle;
    (void)SetupComm(handle, QueueBytes, QueueBytes);
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    // A file or any other device that is not a serial port fails here, before
    // anything was written to it.
    bool configured = GetCommState(handle, &dcb) != FALSE;
    if (configured) {
        configure(dcb, *port);
        configured = SetCommState(handle, &dcb) != FALSE;
    }
    if (!configured) {
        CloseHandle(handle);
        delete port;
        return nullptr;
    }
    (void)setReadLimit(port, ReadGraceMs);
    port->taken.reserve(QueueBytes);
    lastOpenFailure = PortOpenFailure::None;
    return port;
}

bool setPortSpeed(SerialPort* port, std::uint32_t baud) {
    if (port->lost) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port->handle, &dcb)) {
        noteFailure(port);
        return false;
    }
    // No drain first: the link changes speed only after the echoes of what it
    // sent before came back or were given up, so nothing is left to send.
    dcb.BaudRate = baud;
    setLineModes(dcb, *port);
    if (!SetCommState(port->handle, &dcb)) {
        noteFailure(port);
        return false;
    }
    return true;
}

// An adapter without modem lines refuses; the bus then has to be powered
// otherwise, which is no error here.
void setPortLines(SerialPort* port, bool dtrOn, bool rtsOn) {
    (void)EscapeCommFunction(port->handle, dtrOn ? SETDTR : CLRDTR);
    (void)EscapeCommFunction(port->handle, rtsOn ? SETRTS : CLRRTS);
    port->dtrOn = dtrOn;
    port->rtsOn = rtsOn;
}

// ClearCommError also clears a framing error's state so that reception goes on.
std::int32_t portInputWaiting(SerialPort* port) {
    if (port->lost) return 0;
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port->handle, &errors, &status)) {
        noteFailure(port);
        return port->lost ? 0 : static_cast<std::int32_t>(port->taken.size());
    }
    return static_cast<std::int32_t>(
        std::min<std::uint64_t>(port->taken.size() + status.cbInQue, INT32_MAX));
}

std::int32_t writePortBytes(SerialPort* port, const std::uint8_t* data, std::int32_t n) {
    if (data == nullptr || n <= 0 || port->lost) return 0;
    DWORD written = 0;
    if (!WriteFile(port->handle, data, static_cast<DWORD>(n), &written, nullptr)) {
        noteFailure(port);
    }
    return static_cast<std::int32_t>(written);
}

std::int32_t readPortBytes(SerialPort* port, std::uint8_t* data, std::int32_t n) {
    if (data == nullptr || n <= 0) return 0;
    const auto fromTaken =
        static_cast<std::int32_t>(std::min<std::size_t>(port->taken.size(), std::size_t(n)));
    std::memcpy(data, port->taken.data(), static_cast<std::size_t>(fromTaken));
    port->taken.erase(port->taken.begin(), port->taken.begin() + fromTaken);
    if (fromTaken == n || port->lost) return fromTaken;
    const std::int32_t got = readWithin(port, data + fromTaken, n - fromTaken, ReadGraceMs);
    return fromTaken + std::max(got, 0);
}

// The missing bytes are read into `taken` with the wait's time as the total
// read time-out: the driver ends the read when they have all come, or when
// the time is up with whatever came. A port that fails does not answer within
// the time either, so the wait takes its time instead of returning at once
// into a caller that would only ask again.
void waitPortInput(SerialPort* port, std::int32_t bytes, std::uint32_t timeoutMs) {
    const auto have = static_cast<std::int32_t>(port->taken.size());
    if (bytes <= have || timeoutMs == 0) return;
    std::int32_t got = -1;
    if (!port->lost) {
        const std::int32_t missing = std::min(bytes - have, MostTakenPerWait);
        port->taken.resize(static_cast<std::size_t>(have + missing));
        got = readWithin(port, port->taken.data() + have, missing, timeoutMs);
        port->taken.resize(static_cast<std::size_t>(have + std::max(got, 0)));
    }
    if (got < 0) Sleep(timeoutMs);
}

void closePort(SerialPort* port) {
    CloseHandle(port->handle);
    delete port;
}

bool portLost(SerialPort* port) {
    return port->lost;
}

// "COMn" always opens \\.\COMn here: there are no entries to keep to, so a
// reopen is an open.
const SerialPortOps systemOps{
    openPort,       setPortSpeed,  setPortLines,  portInputWaiting,
    writePortBytes, readPortBytes, waitPortInput, closePort,
    portLost,       openPort,
};

}  // namespace

PortOpenFailure LastPortOpenFailure() {
    return lastOpenFailure;
}

const SerialPortOps& SystemSerialPort() {
    return systemOps;
}

}  // namespace platform
