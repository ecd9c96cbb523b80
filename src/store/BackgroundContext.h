#pragma once

#include "lib/NotificationCenter.h"
#include "store/ManagedObjectContext.h"

namespace miravel {

// A context for work on another thread (import, sync, backup, conversion) whose saves reach
// the main context: each save is merged into the main context on the main queue while the
// saving thread waits, so when save() returns, the main context and the live lists on it
// already hold the change. The one way a background save is handed to the screens.
//
// The main queue is the one the main context processes its changes on. Saving on the main
// thread itself merges at once, and so does a context whose main context has no queue (it
// must then be saved on the main context's thread). Made on any thread; used afterwards only
// by the thread doing the work. The main context must outlive it.
class BackgroundContext : public ManagedObjectContext {
public:
    explicit BackgroundContext(ManagedObjectContext& mainContext);
    ~BackgroundContext() override;

private:
    Observation m_merge;
};

}  // namespace miravel
