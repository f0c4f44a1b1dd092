#pragma once

// A gene is a generator that a reactor owns: it builds geometry or holds
// textures or models, changes them from sound and controllers, and draws
// them. Slot order: reserved, init, draw, update (draw before update, the
// opposite of Reactor). A derived gene's constructor sets its fields and then
// calls its own init once.
class Gene {
public:
    Gene() = default;
    virtual ~Gene() = default;
    Gene(const Gene&) = delete;
    Gene& operator=(const Gene&) = delete;

    virtual void reserved() {}
    virtual void init() {}
    virtual void draw() {}
    virtual void update() {}
};

// A gene that selects one item out of a list (the base of ImageGene).
class SelectableGene : public Gene {
public:
    virtual void selectIndex(int index) { (void)index; }
    virtual void selectFraction(float fraction) { (void)fraction; }
};
