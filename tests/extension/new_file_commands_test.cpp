// Tests of the new file commands family.
