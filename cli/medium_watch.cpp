#include "cli/medium_watch.h"

namespace cli {

bool MediumWatch::IsNew(const platform::MediumState& look) {
    if (!look.present || look.changed) m_removed = true;
    if (!look.present) return false;
    bool found = m_removed;
    if (!found && !look.identity.empty()) {
        // The first identity read of a diskette found without one names that diskette: it is
        // taken, not compared with the "" that was not read.
        if (m_identity.empty())
            m_identity = look.identity;
        else
            found = look.identity != m_identity;
    }
    if (found) m_found = look.identity;
    return found;
}

void MediumWatch::Imaged(const platform::MediumState& afterJob) {
    m_imaged = true;
    // The job opened the drive, which takes the change the drive reported to find the
    // diskette: a change or an empty drive seen now is a real one, made during the job.
    m_removed = !afterJob.present || afterJob.changed;
    m_identity = m_removed ? "" : afterJob.identity.empty() ? m_found : afterJob.identity;
}

}  // namespace cli
