// The one-line progress display of a running job, fed by the job's status lines: operation,
// cylinder and head, percentage and elapsed time; for a rescue also the sector being read on
// its own, the read round, and the sectors read and found bad so far.
#pragma once

#include <chrono>
#include <string>

#include "cli/console.h"
#include "engine/job_ids.h"

class CDiskJob;

namespace cli {

class JobProgress {
  public:
    JobProgress(JobOperation operation, Console& console);
    // Called on the main thread while the worker waits inside its status send.
    void Status(const std::string& text, const CDiskJob& job);
    void Finish();

  private:
    void Draw(bool force);

    JobOperation m_operation;
    Console& m_console;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
    int m_cylinder = -1;
    int m_head = -1;
    int m_sides = 0;
    int m_heads = 2;
    int m_sector = 0;
    int m_round = 0;
    int m_recovered = 0;
    int m_bad = 0;
    int m_percent = -1;
    int m_drawnPercent = -1;
};

}  // namespace cli
