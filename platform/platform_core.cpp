// Placeholder translation unit so that platform_core has a source until its services land.
