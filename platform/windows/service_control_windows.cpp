#include "platform/service_control.h"
#include "platform/windows/service_manager_link.h"

namespace duvane::platform {
namespace {

// The service control manager calls the control handler on the dispatcher
// thread; this source only tells the handler where to hand the requests.
// The manager shows the service running until the service thread takes the
// stop, so while a long command holds that thread it accepts more requests
// behind the stop; they end here. The handler calls the target under its
// lock, one request at a time.
class ControlHandlerSource final : public ControlRequestSource {
 public:
  explicit ControlHandlerSource(std::function<void(ServiceControl)> deliver) {
    windows::SetControlTarget(UpToTheStop(std::move(deliver)));
  }
  ~ControlHandlerSource() override { windows::SetControlTarget({}); }
};

}  // namespace

// Control requests are no signals here: nothing to prepare.
void ControlRequestSource::PrepareProcess() {}

std::unique_ptr<ControlRequestSource> ControlRequestSource::Start(
    std::function<void(ServiceControl)> deliver) {
  return std::make_unique<ControlHandlerSource>(std::move(deliver));
}

}  // namespace duvane::platform
