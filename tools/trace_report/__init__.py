"""A DNS trace document as an HTML page a person can read at a glance."""
