#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/ControlTable.h"

// What one machine sends another to follow its show, as OSC messages on
// addresses no command uses (doc/osc-and-midi.md, "Several machines"):
//   follower -> leader   /strata/follow/hello  i <follower's OSC port>  (about once a second)
//                        /strata/follow/resync i <follower's OSC port>  (a gap: send the whole table)
//   leader -> follower   /strata/follow/event  i <seq> s <show-script line>
//                        /strata/follow/text   i <seq> i <offset> i <total> b <piece of a scene's text>
//                        /strata/follow/table  i <seq> i <first entry> b <bytes, then floats>
//                        /strata/follow/state  i <seq> b <run, selected, switches, cells>
// Every event has the next sequence number; a scene's text goes in pieces
// before its event, under the event's number; a table (its pieces and then
// its state) carries the number of the first event it does not hold, the
// next event's.
namespace followwire {

constexpr const char* kPrefix = "/strata/follow/";
constexpr const char* kHello = "/strata/follow/hello";
constexpr const char* kResync = "/strata/follow/resync";
constexpr const char* kEvent = "/strata/follow/event";
constexpr const char* kText = "/strata/follow/text";
constexpr const char* kTable = "/strata/follow/table";
constexpr const char* kState = "/strata/follow/state";

constexpr int kMaxArgs = 4;
constexpr size_t kMaxPacket = 2048;  // every message fits one Ethernet frame or two
constexpr size_t kTextPiece = 1024;
constexpr int kTablePiece = 256;  // entries a table message holds
constexpr int kTablePieces = ControlTable::kEntries / kTablePiece;
constexpr int kCells = 11;

// One argument: 'i' (value) or 's' and 'b' (bytes).
struct Arg {
    char type = 'i';
    int32_t value = 0;
    std::string_view bytes;
};

struct Message {
    std::string_view path;
    Arg args[kMaxArgs];
    int count = 0;
    // The arguments' type tags are exactly types ("is", "iiib", ...).
    bool holds(const char* types) const;
};

// An OSC message into out; its length, or 0 when it does not fit capacity.
size_t encode(uint8_t* out, size_t capacity, const char* path, const Arg* args, int count);
// Reads a message of 'i', 's' and 'b' arguments only, every size checked
// against the packet; false for anything else.
bool decode(const void* data, size_t size, Message& message);

// What a table holds beside the controllers.
struct State {
    int32_t run = 0;  // the leader's run: a number it drew at its start
    int32_t selected = 0, midiOn = 0, joystickOn = 0, helpMode = 0, helpPage = 0;
    int32_t module[kCells] = {}, imageSet[kCells] = {};
};
constexpr size_t kStateBytes = 4 * (6 + 2 * kCells);
void putState(const State& state, uint8_t* out);
bool getState(std::string_view bytes, State& state);
// Entries [first, first + kTablePiece) of a table: the bytes, then the floats.
constexpr size_t kPieceBytes = kTablePiece * 5;
void putPiece(const uint8_t* bytes, const float* floats, int first, uint8_t* out);
void getPiece(std::string_view piece, int first, uint8_t* bytes, float* floats);

}  // namespace followwire
