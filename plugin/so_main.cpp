// Unload of libtarvok.so (native build): what DllMain's process detach does on Windows. At exit()
// or dlclose() the polling thread still runs, so it is stopped and waited for, the queues are
// drained and the file is closed.

#include "asynclog/asynclog.h"
#include "plugin/run_log.h"

namespace {

struct RunLogShutdown {
  // Touching the facility first lets its process-wide state, made on first use, outlive this.
  RunLogShutdown() noexcept { (void)asynclog::getLogLevel(); }
  ~RunLogShutdown() { shutdownRunLog(false); }
};

const RunLogShutdown g_runLogShutdown;

}  // namespace
