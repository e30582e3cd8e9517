// Tests of the hide lock commands family.
