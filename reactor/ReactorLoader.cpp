#include "reactor/ReactorLoader.h"

#include <cstdio>
#include <new>

#include "reactor/Reactor.h"
#include "reactors/MetaballViewer.h"
#include "reactors/Particles1.h"

Reactor* loadReactor(int index, int /*unused*/) {
    printf("Reactor Loader  --%d\n", index);
    Reactor* reactor = nullptr;
    switch (index) {
        case 0: printf("Loading ... : Waver  \n"); break;
        case 1: printf("Loading ... : Tunnel \n"); break;
        case 2: printf("Loading ... : Cloud \n"); break;
        case 3: printf("Loading ... : Waver 3D \n"); break;
        case 4: printf("Loading ... : Particles1 \n"); reactor = new (std::nothrow) Particles1(1280, nullptr); break;
        case 5: printf("Loading ... : Metaball Viewer \n"); reactor = new (std::nothrow) MetaballViewer(50); break;
        case 6: printf("Loading ... : Obj viewer \n"); break;
        case 7: printf("Loading ... : Torus Tunnel \n"); break;
        case 8: printf("Loading ... : Flo \n"); break;
        case 9: printf("Loading ... : Obj viewer \n"); break;
        case 10: printf("Loading ... : Sound Scape \n"); break;
        case 11: printf("Loading ... : Wave \n"); break;
        default: break;
    }
    printf("Reactor Loader complete\n");
    return reactor;
}
