#include <openssl/evp.h>

#include <cstring>
#include <memory>

#include "md5_digest.h"

namespace velmora {
namespace {

struct ContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

}  // namespace

bool Md5Digest::Digest(const uint8_t* data, size_t length, uint8_t* out) {
  std::unique_ptr<EVP_MD_CTX, ContextFree> context(EVP_MD_CTX_new());
  unsigned int written = 0;
  const bool done =
      context != nullptr && EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) == 1 &&
      EVP_DigestUpdate(context.get(), data, length) == 1 &&
      EVP_DigestFinal_ex(context.get(), result_.data(), &written) == 1 && written == kSize;
  if (!done) return false;
  std::memcpy(out, result_.data(), kSize);
  return true;
}

}  // namespace velmora
