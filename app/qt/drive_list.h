// Where the dialog's drive list learns which floppy drives the machine has.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
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
    // Returns at once: a look waiting for the disk service (or a finder) ends on its own, its
    // answer dropped. Only the short part of a look that reads sysfs is waited for, so that no
    // thread of ours is inside the process's globals when the program ends.
    ~DriveSearch();
    DriveSearch(const DriveSearch&) = delete;
    DriveSearch& operator=(const DriveSearch&) = delete;

    // Asks for a look: now, or as soon as the one under way ends.
    void Look();
    // Whether a look asked for has not answered yet.
    bool Looking() const { return m_answered < m_asked; }

  private:
    struct Shared;  // held by the looking thread too, which may outlive this object
    static void Run(std::shared_ptr<Shared> shared);
    void Deliver(unsigned look, std::vector<FloppyDrive> drives);

    Answer m_answer;
    QObject m_context;                     // answers are delivered through it, and die with it
    unsigned m_asked = 0, m_answered = 0;  // the window's thread only
    std::shared_ptr<Shared> m_shared;
};

}  // namespace app
