// Throughput of the line engine: a long line arriving in small reads must
// cost linear time (the scan resumes where the last read stopped), and many
// short lines must not compact the buffer more than needed.
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <string>

#include "SocketRW.h"

namespace {

struct Pair {
  Pair() {
    int fds[2];
    socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds);
    int big = 4 << 20;
    setsockopt(fds[1], SOL_SOCKET, SO_SNDBUF, &big, sizeof big);
    setsockopt(fds[0], SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
    peer = fds[1];
    sock = std::make_unique<plat::TCustomWinSocket>(fds[0]);
    rw = std::make_unique<kest::TLineSocketRW>(sock.get());
    rw->OnLineArrived = [this](plat::TObject*, plat::TCustomWinSocket*, const std::string& l) { bytes += l.size(); };
  }
  ~Pair() {
    rw.reset();
    sock.reset();
    ::close(peer);
  }
  void Feed(const std::string& chunk) {
    if (::write(peer, chunk.data(), chunk.size()) < 0) return;
    rw->SocketEvent(sock.get(), sock.get(), plat::seRead);
  }
  int peer;
  std::unique_ptr<plat::TCustomWinSocket> sock;
  std::unique_ptr<kest::TLineSocketRW> rw;
  size_t bytes = 0;
};

void LongLineInSmallReads(benchmark::State& state) {
  const std::string chunk(1024, 'x');
  const int reads = static_cast<int>(state.range(0));
  for (auto _ : state) {
    Pair p;
    for (int i = 0; i < reads; ++i) p.Feed(chunk);
    p.Feed("\n");
    benchmark::DoNotOptimize(p.bytes);
  }
  state.SetBytesProcessed(state.iterations() * reads * 1024);
}
BENCHMARK(LongLineInSmallReads)->Arg(256)->Arg(1024)->Arg(4096);

void ManyShortLines(benchmark::State& state) {
  std::string block;
  while (block.size() < 64 * 1024) block += "CHAT 12 some words of chat\r\n";
  for (auto _ : state) {
    Pair p;
    for (int i = 0; i < 64; ++i) p.Feed(block);
    benchmark::DoNotOptimize(p.bytes);
  }
  state.SetBytesProcessed(state.iterations() * 64 * static_cast<int64_t>(block.size()));
}
BENCHMARK(ManyShortLines);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
