// The commands of sspack, one file each. Each returns the process exit code.
#pragma once

int CmdCompress(int argc, char** argv);  // sspack compress IN OUT
int CmdExpand(int argc, char** argv);    // sspack expand IN OUT
int CmdList(int argc, char** argv);      // sspack list FILE [--json]
int CmdVerify(int argc, char** argv);    // sspack verify FILE [--json]
int CmdExtract(int argc, char** argv);   // sspack extract FILE [NAME...] -o DIR
int CmdBuild(int argc, char** argv);     // sspack build MANIFEST -o OUT [options]
int CmdInfo(int argc, char** argv);      // sspack info FILE [--manifest | --json]
int CmdInit(int argc, char** argv);      // sspack init [FOLDER]
