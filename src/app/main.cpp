#include "app/Vendrake.h"

int main(int argc, char** argv) { return vendrake::Run(argc, argv); }
