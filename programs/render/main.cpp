#include "programs/render/headless.h"

int main(int argc, char* argv[]) { return lucentor::runRenderTool(argc, argv); }
