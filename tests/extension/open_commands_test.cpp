// Tests of the open commands family.
