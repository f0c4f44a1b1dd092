#include "reactor/ReactorLoader.h"

#include <cstdio>
#include <new>

#include "reactor/Reactor.h"
#include "reactors/Cloud.h"
#include "reactors/MetaballViewer.h"
#include "reactors/Particles1.h"
#include "reactors/RippleObjViewer.h"
#include "reactors/SoundScape.h"
#include "reactors/TorusTunnel.h"
#include "reactors/Tunnel.h"
#include "reactors/Wave.h"
#include "reactors/Waver.h"
#include "reactors/Waver3D.h"
#include "reactors/qelObjReactor.h"

Reactor* loadReactor(int index, int /*unused*/) {
    printf("Reactor Loader  --%d\n", index);
    Reactor* reactor = nullptr;
    switch (index) {
        case 0: printf("Loading ... : Waver  \n"); reactor = new (std::nothrow) Waver(120, 80, 0); break;
        case 1: printf("Loading ... : Tunnel \n"); reactor = new (std::nothrow) Tunnel(); break;
        case 2: printf("Loading ... : Cloud \n"); reactor = new (std::nothrow) Cloud(); break;
        case 3: printf("Loading ... : Waver 3D \n"); reactor = new (std::nothrow) Waver3D(120, 80, 0); break;
        case 4: printf("Loading ... : Particles1 \n"); reactor = new (std::nothrow) Particles1(1280, nullptr); break;
        case 5: printf("Loading ... : Metaball Viewer \n"); reactor = new (std::nothrow) MetaballViewer(50); break;
        case 6: printf("Loading ... : Obj viewer \n"); reactor = new (std::nothrow) qelObjReactor(); break;
        case 7: printf("Loading ... : Torus Tunnel \n"); reactor = new (std::nothrow) TorusTunnel(1000.0f, 2.5f, 20, 36); break;
        case 8: printf("Loading ... : Flo \n"); break;
        case 9: printf("Loading ... : Obj viewer \n"); reactor = new (std::nothrow) RippleObjViewer(nullptr); break;
        case 10: printf("Loading ... : Sound Scape \n"); reactor = new (std::nothrow) SoundScape("QQQ"); break;
        case 11: printf("Loading ... : Wave \n"); reactor = new (std::nothrow) Wave(); break;
        default: break;
    }
    printf("Reactor Loader complete\n");
    return reactor;
}
