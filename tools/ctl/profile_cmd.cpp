#include "ctl/profile_cmd.h"

#include <cstdio>

int RunProfileCommand(int, char**) {
  std::fprintf(stderr, "panora-ctl profile: not available in this build\n");
  return 2;
}
