#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/FrameObserver.h"

class SceneBank;
class ShowRecorder;
class VirtualScreen;
class qelUnivCell;

// What the live program does beside the instrument itself: recording the
// show (STRATA_RECORD, Ctrl+R), the scene keys (Ctrl+1..9 recall,
// Ctrl+Shift+1..9 store) and dumping chosen frames of the virtual screen
// (STRATA_DUMP_FRAMES, STRATA_DUMP_DIR). One instance, driven by the window's
// callbacks.
class LiveSession {
public:
    LiveSession();
    ~LiveSession();
    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    // After the universe is built, before its first frame: reads the
    // environment and starts a recording from start-up when asked.
    void begin(qelUnivCell& universe);
    // A keyboard press with GLUT's modifier bits. True when it was a Ctrl
    // command (then it must not reach the key map); otherwise it is left to
    // the caller.
    bool keyPressed(unsigned char key, int modifiers);
    // Scene recall and store, from the keys and from the control bus alike.
    void recallScene(int n);
    void storeScene(int n);
    // After a universe frame, before the picture is presented.
    void frameDrawn(VirtualScreen* screen);
    // The frame just drawn when it was dumped (else -1), and where dumps go:
    // the window's own dump (STRATA_DUMP_WARPED) follows it.
    int dumpedNow() const { return dumpedFrame_ == framesDrawn_ - 1 ? dumpedFrame_ : -1; }
    const std::string& dumpDirectory() const { return dumpDirectory_; }
    // Ends a running recording (also on exit).
    void stopRecording();
    SceneBank* scenes() { return scenes_.get(); }
    // A second observer beside the recording (a leader sending the show to
    // other machines; null: none).
    void setLeader(FrameObserver* leader);
    // The recording's line for the operator, or null when none runs.
    const char* recordingStatus() const;

private:
    void toggleRecording();
    void watch(qelUnivCell& universe);  // the recorder's stream and the observers
    std::string nextRecordingDirectory() const;

    qelUnivCell* universe_ = nullptr;
    std::unique_ptr<SceneBank> scenes_;
    std::unique_ptr<ShowRecorder> recorder_;
    FrameObserverPair observers_;  // the recording first, then the leader
    std::vector<int> dumpFrames_;
    std::string dumpDirectory_ = ".";
    std::unique_ptr<uint8_t[]> dumpPicture_;
    int dumpBytes_ = 0;
    int dumpedFrame_ = -1;  // the frame frameDrawn dumped last
    int framesDrawn_ = 0;
    size_t nextDump_ = 0;
};
