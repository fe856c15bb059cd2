// Packing speed of the cabinet writer against gcab -c -z on the same files.
// usage: cab_pack_bench [folder (default /usr/lib/x86_64-linux-gnu)] [MiB (default 60)]
// Takes regular files from the folder, sorted by path, until MiB are reached.

#include "tool/cab_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <string>
#include <vector>

namespace {

void Collect(const std::string& dir, std::vector<std::string>& out, int depth = 0) {
  DIR* d = opendir(dir.c_str());
  if (!d || depth > 4) {
    if (d) closedir(d);
    return;
  }
  std::vector<std::string> names;
  for (dirent* e; (e = readdir(d));)
    if (e->d_name[0] != '.') names.push_back(e->d_name);
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) {
    std::string p = dir + "/" + n;
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) Collect(p, out, depth + 1);
    else if (S_ISREG(st.st_mode) && access(p.c_str(), R_OK) == 0) out.push_back(p);
  }
}

double Seconds(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

uint64_t FileSize(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : "/usr/lib/x86_64-linux-gnu";
  uint64_t want = (argc > 2 ? strtoull(argv[2], nullptr, 10) : 60) << 20;
  std::vector<std::string> all, files;
  Collect(dir, all);
  uint64_t total = 0;
  for (const std::string& p : all) {
    if (total >= want) break;
    uint64_t s = FileSize(p);
    if (total + s > want + want / 20) continue;  // stay near the target size
    files.push_back(p);
    total += s;
  }
  printf("%zu files, %.1f MiB from %s\n", files.size(), total / 1048576.0, dir.c_str());

  std::vector<pvx::CabMember> members;
  for (size_t i = 0; i < files.size(); ++i) {
    pvx::CabMember m;
    m.name = std::to_string(i);
    m.sourcePath = files[i];
    members.push_back(m);
  }
  // Warm the page cache so both tools read from memory.
  std::string list = "/tmp/cab_pack_bench.list";
  FILE* lf = fopen(list.c_str(), "w");
  for (const std::string& p : files) fprintf(lf, "%s\n", p.c_str());
  fclose(lf);
  if (std::system(("xargs -d '\\n' cat < " + list + " > /dev/null").c_str()) != 0) return 1;

  const std::string out = "/tmp/cab_pack_bench.cab";
  for (unsigned threads : {1u, 2u}) {
    pvx::CabWriteOptions o;
    o.threads = threads;
    pvx::FileCabSink sink([&](unsigned) { return out; });
    auto t0 = std::chrono::steady_clock::now();
    std::string err = pvx::WriteCabinets(members, o, sink);
    double s = Seconds(t0);
    if (!err.empty()) {
      fprintf(stderr, "%s\n", err.c_str());
      return 1;
    }
    printf("parvolex MSZIP, %u thread(s): %.2f s, %.1f MiB/s, %.1f MiB\n", threads, s,
           total / 1048576.0 / s, FileSize(out) / 1048576.0);
  }
  if (std::system("command -v gcab > /dev/null") == 0) {
    auto t0 = std::chrono::steady_clock::now();
    int rc = std::system(("xargs -d '\\n' gcab -c -z -n " + out + " < " + list).c_str());
    double s = Seconds(t0);
    printf("gcab -c -z: %.2f s, %.1f MiB/s, %.1f MiB (exit %d)\n", s, total / 1048576.0 / s,
           FileSize(out) / 1048576.0, rc);
  }
  unlink(out.c_str());
  unlink(list.c_str());
  return 0;
}
