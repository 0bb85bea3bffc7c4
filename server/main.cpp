// velmora_server: the game server. It listens at once on the port in its
// window's port field (3201). --port N presets that field; with --port a
// port that cannot be opened ends the program with a message.
#include <sys/resource.h>

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "KestServerForm.h"

namespace {

// Many clients, and some that never log in before they are closed, may hold
// connections at once: take the descriptors the system allows.
void RaiseDescriptorLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
  const rlim_t wanted = std::min<rlim_t>(limit.rlim_max, 65536);
  if (limit.rlim_cur >= wanted) return;
  limit.rlim_cur = wanted;
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace

int main(int argc, char** argv) {
  RaiseDescriptorLimit();
  QApplication app(argc, argv);
  QApplication::setApplicationName("Velmora Server");

  int port = -1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
      char* end = nullptr;
      const long n = std::strtol(argv[++i], &end, 10);
      if (!*argv[i] || *end || n < 0 || n > 65535) {
        std::fprintf(stderr, "velmora_server: --port needs a number from 0 to 65535\n");
        return 2;
      }
      port = int(n);
    } else {
      std::fprintf(stderr, "usage: velmora_server [--port N]\n");
      return 2;
    }
  }

  velmora::TKestServerForm form(port);
  if (port >= 0 && !form.Listening()) return 1;  // the reason is on standard error
  form.show();
  return QApplication::exec();
}
