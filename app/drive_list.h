// Where the dialog's drive list learns which floppy drives the machine has.
#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "drive/drive_discovery.h"

namespace app {

// The machine's floppy drives now (DiscoverFloppyDrives), letters not chosen yet.
std::vector<FloppyDrive> FindDrives();

// Tests give the dialog a made-up machine here: while a finder is set, FindDrives returns
// what it returns. An empty finder restores the real look. Set it on the window's thread.
using DriveFinder = std::function<std::vector<FloppyDrive>()>;
void SetDriveFinder(DriveFinder finder);

// Looks for the machine's drives on a thread of its own, one look at a time: the disk service
// may take seconds to answer (or not answer at all), and the window must not wait for it.
// Each answer reaches the thread that made the object, in the order the looks were asked for.
class DriveSearch {
  public:
    using Answer = std::function<void(std::vector<FloppyDrive>)>;
    explicit DriveSearch(Answer answer);
    // Waits for the look under way, if any; its answer is dropped.
    ~DriveSearch();
    DriveSearch(const DriveSearch&) = delete;
    DriveSearch& operator=(const DriveSearch&) = delete;

    // Asks for a look: now, or as soon as the one under way ends.
    void Look();
    // Whether a look asked for has not answered yet.
    bool Looking() const { return m_answered < m_asked; }

  private:
    void Run();
    void Deliver(unsigned look, std::vector<FloppyDrive> drives);

    Answer m_answer;
    QObject m_context;                     // answers are delivered through it, and die with it
    unsigned m_asked = 0, m_answered = 0;  // the window's thread only

    std::mutex m_mutex;  // guards what follows, shared with the looking thread
    std::condition_variable m_wake;
    unsigned m_wanted = 0;  // the newest look asked for
    DriveFinder m_finder;   // the finder as it was when that look was asked for
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace app
