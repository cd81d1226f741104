// Whether the drive holds a diskette still to image, told from what the drive says at each
// look (platform::MediumState). A drive shows a new diskette in one of three ways: it is seen
// empty or reports a change between two looks, or its identity of the medium differs from the
// one imaged last. Some answers lack the identity (on Windows a media change answered while
// the last diskette's volume is still mounted), so an identity is only ever compared with one
// that was read from the drive.
#pragma once

#include <string>

#include "platform/medium_state.h"

namespace cli {

class MediumWatch {
  public:
    // Whether this look shows a diskette to image: before the first is imaged, any diskette.
    bool IsNew(const platform::MediumState& look);
    // The diskette last found new was imaged; afterJob is the drive looked at right after the
    // job, which names the diskette in the drive better than the look that found it.
    void Imaged(const platform::MediumState& afterJob);
    // Whether the diskette imaged last is still in, as far as the drive tells.
    bool AwaitsRemoval() const { return m_imaged && !m_removed; }

  private:
    bool m_imaged = false;
    // Seen empty, or changed, since the last diskette was imaged.
    bool m_removed = true;
    // The imaged diskette's identity; "" until one is read.
    std::string m_identity;
    // The identity of the look that found the diskette being imaged.
    std::string m_found;
};

}  // namespace cli
