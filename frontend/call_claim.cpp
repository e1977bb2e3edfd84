#include "frontend/call_claim.h"

namespace ovcg::frontend {

std::atomic<bool>& CallClaim::busy() {
    static std::atomic<bool> flag{false};
    return flag;
}

}  // namespace ovcg::frontend
