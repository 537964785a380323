// libmd: a few kilobytes that do only message digests, where libcrypto would
// map well over a megabyte into every host of the library.
#include <md5.h>

#include "velmora/md5_digest.h"

namespace velmora::platform {

bool Md5(const uint8_t* data, size_t length, uint8_t* out) {
  MD5_CTX context;
  MD5Init(&context);
  MD5Update(&context, data, length);
  MD5Final(out, &context);
  return true;
}

}  // namespace velmora::platform
