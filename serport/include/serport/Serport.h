// SPDX-License-Identifier: GPL-3.0-or-later
// CSerport: one serial line with a reader thread of its own that collects received
// bytes, zero bytes included, into a 1023-character buffer. The object owns the device and the thread; the
// owner opens, reconfigures and closes it (OpenComPort, CloseComPort). Write,
// GetRcvData, GetRcvDataLength, WaitRcvData, GetLineLost, WinMsgSendReg and
// ReceiverReg may be called from any thread.
//
// The reader sleeps in poll() on the device and a wake-up eventfd, nothing else: no
// periodic wake-up. When the line goes away (the far end hangs up, the adapter is
// unplugged and the device fails or vanishes, a write fails for good) the port is
// "lost": the reader tells the registered receiver once and from then on sleeps until
// CloseComPort. A later OpenComPort starts afresh.
#pragma once

#include "platform/WindowMessage.h"
#include "serport/SerportExport.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>

#include <termios.h>

// Posted to the registered window after received text was added to the buffer:
// wParam 1, lParam the number of characters now in the buffer.
inline constexpr std::uint32_t WM_SERPORT_DATA = 0x1110;

class CSerport;

namespace serport {
struct LineSettings;
}

// Told on the port's reader thread about received text and the loss of the line, so
// that its owner handles them as they happen. Its calls must not block for long nor
// close the port; the receiver must stay valid while it is registered and the port open.
class SERPORT_EXPORT CSerportReceiver {
public:
    virtual ~CSerportReceiver() = default;
    // Text was added to the receive buffer.
    virtual void OnSerportData(CSerport& port) noexcept = 0;
    // The line is gone; called once per opening, after the last text.
    virtual void OnSerportLineLost(CSerport& port) noexcept = 0;
};

class SERPORT_EXPORT CSerport {
public:
    // Characters the receive buffer holds; GetRcvData needs room for one more (the zero).
    static constexpr std::size_t kReceiveCapacity = 1023;

    CSerport();
    // Closes the port if the owner left it open, so that the reader thread is joined.
    virtual ~CSerport();
    CSerport(const CSerport&) = delete;
    CSerport& operator=(const CSerport&) = delete;

    // Opens COM `port` (its device comes from platform::ComPortDevicePath) and starts
    // the reader thread; on a port that is already open, only changes the line settings.
    // Parity codes: 0 none, 1 odd, 2 even, 3 mark, 4 space. `clearBuffer` non-zero empties
    // text left from an earlier opening. Returns 1 when open with these settings, 0 after
    // showing "Error opening COM port": the device cannot be opened, or it refuses the
    // speed or character size (a port already open then keeps its earlier settings).
    int OpenComPort(unsigned port, unsigned baud, unsigned parity, unsigned dataBits, unsigned stopBits,
                    int clearBuffer);
    // Stops and joins the reader thread, restores the line settings found at opening
    // and closes the device. Does nothing on a closed port.
    void CloseComPort();

    // Sends all `count` bytes; writes from several threads go out whole, one after
    // another. 1 when all were sent, 0 when the port is closed or lost, the line fails
    // (which loses the port), or the line does not take them within 2 s plus their
    // transmission time.
    int Write(const unsigned char* bytes, unsigned long count);

    // Copies the received text, zero-terminated, into `dst` (room for 1024 bytes) and
    // empties the buffer. Always 1.
    int GetRcvData(unsigned char* dst);
    // The same; `*textLost` (when not null) is 1 when older text was dropped from the
    // full buffer since the last take, so the taken text does not continue what came before.
    int GetRcvData(unsigned char* dst, int* textLost);
    // The same; `*length` (when not null) is the number of bytes taken. The text may
    // hold zero bytes (binary frames), so only this length tells where it ends.
    int GetRcvData(unsigned char* dst, int* textLost, unsigned long* length);
    unsigned GetRcvDataLength();
    // Waits up to `milliseconds` for received text; returns early when the port closes
    // or is lost. 1 when the buffer holds text, 0 otherwise.
    int WaitRcvData(unsigned milliseconds);
    // 1 once the open line was lost (see above), until the next opening.
    int GetLineLost();
    // Why the last OpenComPort of a closed port failed, as an errno value: EBUSY when
    // another program holds the device (a lock or exclusive mode), ENOTTY when it is no
    // terminal, else the error of open(); 0 after a successful opening.
    int GetOpenError();

    // Window that receives WM_SERPORT_DATA; nullptr stops the messages.
    void WinMsgSendReg(platform::WindowHandle window);
    // Receiver told on the reader thread; nullptr removes it. Set it before opening.
    void ReceiverReg(CSerportReceiver* receiver);

private:
    SERPORT_LOCAL bool Reconfigure(const serport::LineSettings& settings);
    SERPORT_LOCAL void ReadThread(int device, int wake);
    SERPORT_LOCAL void DataIO(const unsigned char* bytes, std::size_t count);
    // Marks the line lost and wakes every waiter; the reader tells the receiver.
    SERPORT_LOCAL void LoseLine();

    // Serialises OpenComPort and CloseComPort; guards savedSettings_ and the reader thread.
    std::mutex lifecycleMutex_;
    termios savedSettings_{};
    std::thread reader_;

    // Held for a whole Write, so writes never interleave; the descriptors change only
    // under it, so a Write never uses a descriptor that CloseComPort has closed.
    std::mutex writeMutex_;
    int device_ = -1;
    int wake_ = -1; // eventfd: signalled by CloseComPort to end the reader and any waiting Write

    std::atomic<bool> open_{false};
    std::atomic<bool> run_{false};
    std::atomic<bool> lineLost_{false};
    std::atomic<int> openError_{0};
    std::atomic<CSerportReceiver*> receiver_{nullptr};
    std::atomic<std::int64_t> characterTimeNs_{0};
    std::atomic<platform::WindowHandle> notifyWindow_{nullptr};

    std::mutex receiveMutex_;
    std::condition_variable received_;
    unsigned char receiveBuffer_[kReceiveCapacity + 1] = {};
    std::size_t receiveLength_ = 0;
    bool textLost_ = false; // older text was dropped since the last take
};
