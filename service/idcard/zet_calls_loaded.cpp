// Linux: the helper process loads the library by file name, beside itself
// first, and finds the nine functions by name. The library stays loaded
// for the life of the process.
#include "platform/dynamic_library.h"
#include "service/idcard/zet_calls.h"

namespace duvane {
namespace {

// The function of `step`, found by the step's name.
template <typename Function>
bool Find(platform::ModuleHandle library, ZetStep step, Function& function, std::string& error) {
  const std::string name(ZetStepName(step));
  function = reinterpret_cast<Function>(platform::FindSymbol(library, name.c_str()));
  if (function == nullptr) error = "the identity-card library lacks " + name;
  return function != nullptr;
}

}  // namespace

bool BindZetCalls(const std::string& libraryFile, ZetCalls& calls, std::string& error) {
  const platform::LoadedLibrary library = platform::LoadDynamicLibrary(libraryFile);
  if (library.handle == nullptr) {
    error = library.error;
    return false;
  }
  const platform::ModuleHandle h = library.handle;
  return Find(h, kFindUsbReaderStep, calls.findUsbReader, error) &&
         Find(h, kSetPhotoPathStep, calls.setPhotoPath, error) &&
         Find(h, kSetPhotoTypeStep, calls.setPhotoType, error) &&
         Find(h, kSetPhotoNameStep, calls.setPhotoName, error) &&
         Find(h, kOpenPortStep, calls.openPort, error) &&
         Find(h, kStartFindIdCardStep, calls.startFindIdCard, error) &&
         Find(h, kSelectIdCardStep, calls.selectIdCard, error) &&
         Find(h, kReadMsgStep, calls.readMsg, error) &&
         Find(h, kPhotoToStrBase64Step, calls.photoToStrBase64, error);
}

}  // namespace duvane
