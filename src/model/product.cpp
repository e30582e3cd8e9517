#include "model/product.h"

#include <atomic>

namespace tf {

namespace {
std::atomic<Deliverable> g_running{Deliverable::Host};
}  // namespace

void setRunningDeliverable(Deliverable deliverable) {
    g_running = deliverable;
}

Deliverable runningDeliverable() {
    return g_running;
}

std::string_view deliverableName(Deliverable deliverable) {
    return deliverable == Deliverable::Host ? "trackfolio" : "trackfolio-sync";
}

}  // namespace tf
