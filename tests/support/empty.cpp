// Keeps the support library non-empty before it has helpers of its own.
