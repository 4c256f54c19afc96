// The row work every printed page shares, however its pixels were made:
// white rows are only counted and announced to the driver as one skip
// before the next printed row; every other row is dithered in place and
// handed to the driver. The page pipeline feeds it rows of band playback,
// the CUPS filter rows of a raster, so a printer gets the same bytes for
// the same pixels from both.
#pragma once

#include "drivers/PrinterDriver.h"
#include "ports/OutputPort.h"
#include "ports/PortWriter.h"
#include "render/Ditherer.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tarvel::device {

// True when every byte of the row is 255.
bool IsWhiteRow(const std::uint8_t* row, std::size_t size);

enum class RowStep { Blank,
                     Sent,
                     Failed };

class RowOutput {
public:
    // The ditherer must be prepared for rows of `rowWidth` pixels and the
    // driver opened and begun for the page.
    RowOutput(tarvel::render::Ditherer& ditherer, tarvel::drivers::PrinterDriver& driver,
              tarvel::ports::PortWriter* port, std::int32_t rowWidth, bool monochrome);

    // Takes the next printer row (rowWidth pixels of blue, green, red) and
    // dithers it in place unless it is white. Failed when the driver could
    // not write the row.
    RowStep Put(std::uint8_t* row);

    // The same for a row of black and white only, given as one bit per
    // pixel set for black (SendBlackRow): such a row is not dithered, and
    // prints as Put prints its pixels.
    RowStep PutBlack(const std::uint8_t* black, bool white);

    // The two halves of Put, for rows dithered on one thread and sent from
    // another in the same order: Dither dithers a row in place unless it is
    // white (then it returns true), Send takes the row as Put would with
    // what Dither returned. They share no state, so one thread may dither
    // a row while another sends an earlier one.
    bool Dither(std::uint8_t* row);
    RowStep Send(const std::uint8_t* row, bool white);

    // Where the following rows are written.
    void SetPort(tarvel::ports::PortWriter* writer) { port = writer; }

private:
    // Announces the white rows counted before a printed one.
    void EndBlankRun();

    tarvel::render::Ditherer& ditherer;
    tarvel::drivers::PrinterDriver& driver;
    tarvel::ports::PortWriter* port;
    std::size_t rowBytes;
    bool monochrome;
    bool afterBlank = false;      // Dither's side: the last row was white
    std::uint32_t blankRows = 0;  // Send's side
};

// The second thread of a print job's pages: it runs the tasks handed to it
// one after another, and stays from page to page until Stop (starting a
// thread for every page cost a text page a tenth of its time).
class RowThread {
public:
    RowThread() = default;
    ~RowThread() { Stop(); }
    RowThread(const RowThread&) = delete;
    RowThread& operator=(const RowThread&) = delete;

    // Starts the thread unless it runs; false when the system gives none.
    bool Start();
    // Runs the tasks handed over so far, then ends the thread.
    void Stop();
    bool Running() const { return thread.joinable(); }
    // Hands a task to the thread; it must be running.
    void Run(std::function<void()> task);

private:
    void Main();

    std::mutex lock;
    std::condition_variable ready;
    std::deque<std::function<void()>> tasks;
    bool stopping = false;
    std::thread thread;
};

// The row work of a page on a second thread, so that both cores work on
// it: while the application thread plays band n + 1 into one bitmap, the
// worker takes the printer rows out of band n (turning them for landscape),
// tests, dithers and encodes them, and paints the rows it used white again
// for the band after next. The driver writes into a byte buffer per band,
// which is posted to the port band after band, in the order the bands were
// played, so the port sees exactly the stream the rows would have given one
// by one. Only the application thread ever waits on the port (and pumps the
// progress window's messages).
// A portrait band of 24-bit pixels is only dithered by the worker; the
// application thread encodes it when it delivers it. Dithering is most of
// a coloured page's row work, and playing a band less than the rest, so
// this way the two threads carry about the same load.
class BandRowWorker {
public:
    static constexpr int kSlots = 2;

    // A band bitmap: `lines` printer rows in portrait (one per scan line),
    // `lines` printer rows as columns of `rowWidth` scan lines in landscape.
    // A bilevel band (portrait only) has one bit per pixel, 0 for black and
    // 1 for white.
    struct Band {
        std::uint8_t* bits = nullptr;
        std::int64_t stride = 0;
        std::int32_t lines = 0;
        bool bilevel = false;
    };

    // The ditherer must be prepared and the driver opened and begun for the
    // page; both belong to the worker from the first Submit until the last
    // Deliver has returned.
    // keptBytes, when given, are two byte buffers that outlive the worker:
    // the bands' bytes are collected in them, and their memory is kept for
    // the next page (growing fresh buffers cost a text page page faults).
    // The bands are worked on by rowThread, which is started if need be,
    // and their bytes posted to port, which must be there by the first
    // Submit.
    BandRowWorker(tarvel::render::Ditherer& ditherer, tarvel::drivers::PrinterDriver& driver,
                  std::int32_t rowWidth, bool monochrome, bool portrait, RowThread& rowThread,
                  tarvel::ports::OutputPort* port, std::vector<std::uint8_t> (*keptBytes)[kSlots] = nullptr);
    // Waits for the bands still being worked on.
    ~BandRowWorker();
    BandRowWorker(const BandRowWorker&) = delete;
    BandRowWorker& operator=(const BandRowWorker&) = delete;

    // False when no row buffer can be had. Without a thread (the system
    // would not give one) every Submit does its band's work before it
    // returns: the same bytes, on one core.
    bool Start();

    // Hands over the band in `slot` (0 or 1), which must not be in use: its
    // pixels are the worker's until Deliver returns for the slot, and come
    // back white. Its bytes are posted to the port (whose writer takes them
    // while the next bands are played) once they are made, in band order.
    // The slot's bytes of two bands ago must have been taken by the port
    // first; false (nothing handed over) when the port stopped.
    bool Submit(int slot, const Band& band);

    // Waits for the band in `slot`, calling `pump` at least every 50 ms
    // while it waits; a band encoded on delivery is encoded and posted
    // here. False when the port is closed or the driver failed; the slot is
    // free again either way.
    bool Deliver(int slot, const std::function<void()>& pump);

    // True while the slot holds a band that was submitted and not delivered.
    bool InUse(int slot) const { return slots[slot].inUse; }

private:
    // Where the driver writes while the worker has a band: the bytes of
    // that band, kept until the application thread sends them.
    class BandBytes : public tarvel::ports::PortWriter {
    public:
        int Write(const std::uint8_t* bytes, int length) override;
        std::vector<std::uint8_t> data;
    };
    struct Slot {
        Band band;
        BandBytes bytes;
        std::uint64_t ticket = 0;         // of the bytes last posted, see posted
        std::vector<std::uint8_t> white;  // per row, when encoded on delivery
        bool inUse = false;
        bool done = false;
        bool failed = false;
    };

    // Waits until the port has taken the bytes the slot posted last, so
    // that they may be overwritten.
    bool Reclaim(Slot& slot);
    // Posts the slot's bytes; false when the port is closed.
    bool Post(Slot& slot);
    void Work(Slot& slot);
    void WorkBilevel(Slot& slot);
    // Whether the slot's rows are encoded by Deliver.
    bool EncodedOnDelivery(const Slot& slot) const { return portrait && !slot.band.bilevel; }
    void Encode(Slot& slot);

    RowOutput rows;
    std::vector<std::uint8_t> (*keptBytes)[kSlots];
    std::int32_t rowWidth;
    bool portrait;
    std::unique_ptr<std::uint8_t[]> turned;  // one landscape row, turned
    std::vector<std::uint8_t> black;         // one bilevel row as ink
    Slot slots[kSlots];
    RowThread& rowThread;
    bool threaded = false;  // the bands go to rowThread
    std::mutex lock;
    std::condition_variable workDone;
    tarvel::ports::OutputPort* const port;
    // The newest ticket: the worker waits for it before its byte buffers
    // go. Written by whichever thread posts, read by the application thread
    // once the bands are done.
    std::uint64_t lastTicket = 0;
};

}  // namespace tarvel::device
