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

namespace {
// Builds one effect without throwing: out of memory leaves the cell empty
// instead of ending the show. The only place a reactor is made with new;
// the unique_ptr takes it over at once.
template <class Effect, class... Args>
std::unique_ptr<Reactor> build(Args... args) {
    return std::unique_ptr<Reactor>(new (std::nothrow) Effect(args...));
}
}  // namespace

std::unique_ptr<Reactor> loadReactor(int index, int /*unused*/) {
    printf("Reactor Loader  --%d\n", index);
    std::unique_ptr<Reactor> reactor;
    switch (index) {
        case 0: printf("Loading ... : Waver  \n"); reactor = build<Waver>(120, 80, 0); break;
        case 1: printf("Loading ... : Tunnel \n"); reactor = build<Tunnel>(); break;
        case 2: printf("Loading ... : Cloud \n"); reactor = build<Cloud>(); break;
        case 3: printf("Loading ... : Waver 3D \n"); reactor = build<Waver3D>(120, 80, 0); break;
        case 4: printf("Loading ... : Particles1 \n"); reactor = build<Particles1>(1280, nullptr); break;
        case 5: printf("Loading ... : Metaball Viewer \n"); reactor = build<MetaballViewer>(50); break;
        case 6: printf("Loading ... : Obj viewer \n"); reactor = build<qelObjReactor>(); break;
        case 7: printf("Loading ... : Torus Tunnel \n"); reactor = build<TorusTunnel>(1000.0f, 2.5f, 20, 36); break;
        case 8: printf("Loading ... : Flo \n"); break;
        case 9: printf("Loading ... : Obj viewer \n"); reactor = build<RippleObjViewer>(nullptr); break;
        case 10: printf("Loading ... : Sound Scape \n"); reactor = build<SoundScape>("QQQ"); break;
        case 11: printf("Loading ... : Wave \n"); reactor = build<Wave>(); break;
        default: break;
    }
    printf("Reactor Loader complete\n");
    return reactor;
}
