// filled in by the platform layer
