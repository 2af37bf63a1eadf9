// Corvatek control centre.
#include "pages/registry.h"
#include "shell/application.h"

int main(int argc, char** argv)
{
    corvatek::shell::PageRegistry registry;
    corvatek::pages::registerAll(registry);
    return corvatek::shell::run(argc, argv, registry);
}
