#include "download_file.h"

#include "kept_body.h"
#include "text.h"

void download_file(HttpClient &client, const std::string &url, const std::string &target) {
  std::wstring wide_target = text::widen(target);
  KeptBody body(wide_target);
  PartialBody partial = body.kept_for(url);
  try {
    client.Get(
        url, partial, [&](int64_t offset) { body.begin(url, partial, offset); },
        [&](const char *data, size_t size) { body.write(data, size); });
  } catch (...) {
    // A reply that continues nothing leaves nothing to continue.
    if (partial.kept == 0)
      body.discard();
    throw;
  }
  body.commit(wide_target);
}
