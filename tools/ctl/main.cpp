#include <cstdio>
#include <cstring>

#include "ctl/profile_cmd.h"

int main(int argc, char** argv) {
  if (argc >= 2 && std::strcmp(argv[1], "profile") == 0) return RunProfileCommand(argc - 2, argv + 2);
  std::fprintf(stderr, "usage: panora-ctl profile ...\n");
  return 2;
}
