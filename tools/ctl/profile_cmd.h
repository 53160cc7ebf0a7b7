// `panora-ctl profile ...`: inspect, convert and repair profile files.
#pragma once

// argc/argv start after the word "profile". Returns the exit status.
int RunProfileCommand(int argc, char** argv);
