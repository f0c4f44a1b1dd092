#pragma once

// While alive, checks every call of the GL entry points the reactors feed with
// computed numbers (and glDrawElements' arrays) for NaN or infinity, which the
// driver would drop quietly.
class NonFiniteGlCheck {
public:
    NonFiniteGlCheck();
    ~NonFiniteGlCheck();
    NonFiniteGlCheck(const NonFiniteGlCheck&) = delete;
    NonFiniteGlCheck& operator=(const NonFiniteGlCheck&) = delete;

    // Calls checked and calls with a number that was NaN or infinite.
    long calls() const;
    long nonFinite() const;
    // Name of the first entry point that received one ("" when none did).
    const char* firstOffender() const;
};
