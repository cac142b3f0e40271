package demo.modern;

import java.util.List;

// Records, sealed types and switch expressions.
public final class Shapes {
    public sealed interface Shape permits Circle, Rectangle, Polygon {}

    public record Circle(double radius) implements Shape {
        public Circle {
            if (radius < 0) throw new IllegalArgumentException("radius " + radius);
        }
    }

    public record Rectangle(double width, double height) implements Shape {
        public static Rectangle square(double side) {
            return new Rectangle(side, side);
        }
    }

    public static non-sealed class Polygon implements Shape {
        private final List<double[]> points;

        public Polygon(List<double[]> points) {
            this.points = List.copyOf(points);
        }

        public int corners() {
            return points.size();
        }
    }

    public record Pair<A, B>(A first, B second) {}

    public enum Unit { MM, CM, M }

    private Shapes() {}

    public static double area(Shape shape) {
        if (shape instanceof Circle c) return Math.PI * c.radius() * c.radius();
        if (shape instanceof Rectangle r && r.width() > 0) return r.width() * r.height();
        return 0;
    }

    public static double scale(Unit unit) {
        return switch (unit) {
            case MM -> 0.001;
            case CM -> 0.01;
            case M -> 1;
        };
    }

    public static int weight(String word) {
        return switch (word) {
            case "a", "e", "i", "o", "u" -> 1;
            case "y" -> {
                int base = word.length();
                yield base * 2;
            }
            default -> word.length() * 3;
        };
    }

    public static Pair<String, Integer> describe(Object o) {
        String kind = o instanceof CharSequence s && !s.isEmpty() ? "text" : "other";
        return new Pair<>(kind, o == null ? 0 : o.hashCode());
    }
}
