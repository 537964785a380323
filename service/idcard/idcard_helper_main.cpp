// duvane-idcard: the program beside the service that runs the identity-card
// library's calls, so that the service process never runs the library's
// code. The service starts it and talks to it; it is not for starting by
// hand. Its argument is the library's file name.
#include "platform/isolated_work.h"
#include "service/idcard/card_reading.h"

int main(int argc, char** argv) {
  return duvane::platform::ServeIsolatedWork(duvane::IdCardWork(), argc, argv);
}
