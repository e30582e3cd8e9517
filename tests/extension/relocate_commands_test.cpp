// Tests of the relocate commands family.
