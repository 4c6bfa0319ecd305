// The display controller's wire format: ten bytes each way, no length, checksum or escaping.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <string>

using Frame = std::array<uint8_t, 10>;

// One command frame slot. The GUI thread writes value bytes while the send thread copies the
// frame, so each byte is atomic; the send lock still orders a write before the send it is for.
class CommandFrame {
public:
    CommandFrame(std::initializer_list<uint8_t> bytes);
    uint8_t get(std::size_t i) const { return bytes_[i].load(); }
    void set(std::size_t i, uint8_t v) { bytes_[i].store(v); }
    Frame snapshot() const;
    void assign(const Frame& f);

private:
    std::array<std::atomic<uint8_t>, 10> bytes_;
};

extern CommandFrame UARTSetBrightnessBuf;
extern CommandFrame UARTGetBrightnessBuf;
extern CommandFrame UARTSetVolumeBuf;
extern CommandFrame UARTCommand03Buf;
extern CommandFrame UARTMuteBuf;
extern CommandFrame UARTMediaSelectBuf;
extern CommandFrame UARTSourceChangedBuf;
extern CommandFrame UARTToggleLCDBuf;

inline constexpr std::size_t kFrameSlots = 8;
inline constexpr std::size_t kValueByte = 8;
inline constexpr std::size_t kCodeByte = 7;
// Slot k is sent when request event k is set.
CommandFrame& frameInSlot(std::size_t slot);
// Puts all eight slots back to their initial bytes; for tests.
void resetCommandFrames();

// A frame from the controller passes when bytes 0..6 are 02 00 00 02 7E 00 02 and byte 9 is 03.
bool MatchFrameTemplate(const Frame& f);
inline constexpr Frame kInvalidFrame = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// "02 00 00 01 7E 00 02 02 07 03"
std::string frameToHex(const Frame& f);
