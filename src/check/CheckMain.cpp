#include "check/InputCheck.h"

int main(int argc, char** argv) { return vendrake::RunCheck(argc, argv, VENDRAKE_VERSION); }
