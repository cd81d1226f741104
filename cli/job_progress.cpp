#include "cli/job_progress.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/disk_job.h"

namespace cli {
namespace {

const char* Verb(JobOperation operation) {
    switch (operation) {
        case Compress:
            return "Compressing";
        case Expand:
            return "Expanding";
        case Verify:
            return "Verifying";
        case Rescue:
            return "Rescuing";
    }
    return "Working";
}

}  // namespace

JobProgress::JobProgress(JobOperation operation, Console& console)
    : m_operation(operation), m_console(console), m_start(std::chrono::steady_clock::now()) {}

void JobProgress::Status(const std::string& text, const CDiskJob& job) {
    if (!m_console.interactive()) return;
    if (m_sides == 0 && job.m_trackBytes != 0) {
        m_heads = job.m_format.heads;
        m_sides = m_heads * job.m_format.cylinders;
    }
    // "... Cylinder - 12  Head - 1"; the file steps in between keep the last position.
    const char* at = std::strstr(text.c_str(), "Cylinder - ");
    int cylinder, head;
    if (at && std::sscanf(at, "Cylinder - %d Head - %d", &cylinder, &head) == 2) {
        m_cylinder = cylinder;
        m_head = head;
        if (m_sides) m_percent = 100 * (m_heads * cylinder + head) / m_sides;
    }
    if (m_operation == Rescue) {
        const char* sector = std::strstr(text.c_str(), "Sector - ");
        m_sector = sector ? std::atoi(sector + 9) : 0;
        m_round = job.m_rescueRound;
        m_recovered = job.m_rescueRecovered;
        m_bad = job.m_sectorMap.Count(SectorBad);
    }
    Draw(false);
}

void JobProgress::Draw(bool force) {
    auto now = std::chrono::steady_clock::now();
    // A redraw per track side would flood a slow terminal; ten a second are enough.
    if (!force && m_percent == m_drawnPercent && now - m_lastDraw < std::chrono::milliseconds(100))
        return;
    m_lastDraw = now;
    m_drawnPercent = m_percent;
    double elapsed = std::chrono::duration<double>(now - m_start).count();
    char line[160];
    if (m_cylinder < 0) {
        std::snprintf(line, sizeof line, "%s  %5.1f s", Verb(m_operation), elapsed);
    } else if (m_operation == Rescue) {
        char sector[24] = "";
        if (m_sector > 0) std::snprintf(sector, sizeof sector, "  sector %2d", m_sector);
        std::snprintf(line, sizeof line,
                      "%s  cylinder %2d  head %d%s  round %d  read %d  bad %d  %3d%%  %5.1f s",
                      Verb(m_operation), m_cylinder, m_head, sector, m_round, m_recovered, m_bad,
                      m_percent < 0 ? 0 : m_percent, elapsed);
    } else {
        std::snprintf(line, sizeof line, "%s  cylinder %2d  head %d  %3d%%  %5.1f s",
                      Verb(m_operation), m_cylinder, m_head, m_percent < 0 ? 0 : m_percent,
                      elapsed);
    }
    m_console.Progress(line);
}

void JobProgress::Finish() {
    m_console.EndProgress();
}

}  // namespace cli
