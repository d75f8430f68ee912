// Placeholder: delete once tests/peers has a real source.
