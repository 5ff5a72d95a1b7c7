#pragma once
// Who owns a journal entry: a process id with its creation time, so that an
// id the system has since given to another process never passes for the
// owner.

#include "native/proxy/proxy_journal.h"

namespace orv::proxy {

JournalOwner CurrentProcessOwner();

// True while that very process runs: its id with the creation time recorded.
// A process whose creation time may not be read counts only while it is a
// kilna.exe of this user (by the system's process list), or an entry of a
// dead owner whose id a service now has would keep the loopback for good.
bool ProcessStillRunning(const JournalOwner& owner);

}  // namespace orv::proxy
